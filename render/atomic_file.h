// Result files written as editors write them: into a new temporary file beside the target, then
// flushed, synced and renamed over it, so a reader sees the old file or the whole new one.
#pragma once

#include <string>

#include "render/text_out.h"

/// Owns one temporary file from `open` until `commit` renames it over the target. Destroying it
/// uncommitted, or a SIGINT, SIGTERM or SIGHUP (see `remove_temporary_files_on_signals`), removes
/// the temporary file and leaves the target as it was. A symlink at the target is replaced, not
/// written through.
class atomic_file {
 public:
  atomic_file() = default;
  atomic_file(const atomic_file&) = delete;
  atomic_file& operator=(const atomic_file&) = delete;
  ~atomic_file();

  /// Creates the temporary file (exclusively, under a fresh name) in `target`'s folder. False when
  /// it can't be created or `target` is a directory; nothing is created then.
  bool open(const std::string& target);

  /// The stream to write through; valid between a successful `open` and `commit`.
  text_out& out() { return out_; }

  /// Flushes, syncs and closes the temporary file and renames it over the target. False, with the
  /// temporary file removed and the target untouched, when any write, the sync or the rename
  /// failed.
  bool commit();

  /// Removes the temporary file now, leaving the target untouched.
  void discard();

  [[nodiscard]] const std::string& target() const { return target_; }

 private:
  std::string target_;
  std::string temporary_;
  int slot_ = -1;  // index in the registry that signal handlers clean up
  text_out out_;
};

/// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every open temporary file and
/// then end the process by the same signal; SIGPIPE is ignored, so a closed pipe is a failed write.
void remove_temporary_files_on_signals();

/// Removes every open temporary file; safe inside a signal handler or a failing allocation's
/// handler, which end the process without running destructors.
void remove_temporary_files_now();
