// Result files written as editors write them: into a new temporary file beside the target, then
// flushed, synced and renamed over it, so a reader sees the old file or the whole new one. A
// target that can't be replaced that way, a device, a FIFO or standard output, is written
// straight through instead.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "render/text_out.h"

/// What a path names, as far as writing a result there goes. Symlinks are followed for the
/// decision, so /dev/stdout is whatever standard output is.
enum class target_kind {
  absent,           // nothing there yet, or a dangling symlink: a new file takes the name
  regular,          // a regular file, or a symlink to one: replaced, never written through
  standard_output,  // "-", or the very file standard output is: written to standard output
  device,           // a character device or a FIFO: written straight through, in place
  directory,        // refused, as are the two below
  socket,
  block_device,
};

/// Writes to disk every file of the file system that holds `folder` (syncfs): many temporary
/// files finished without their own sync, at the cost of one. False when it can't.
bool sync_file_system(const std::string& folder);

/// Syncs each file system that holds one of `folders` once (sync_file_system); the folders whose
/// sync failed, in their order.
std::vector<std::string> sync_file_systems(std::span<const std::string> folders);

/// The kind of `path`. "-" is standard output; so is any path that names the file open for
/// writing on descriptor 1 (compared by device and inode).
target_kind kind_of_target(const std::string& path);

/// "a directory", "a socket" or "a block device" for a kind nothing can be written to; an empty
/// text for the kinds that can be.
std::string_view refused_kind_text(target_kind kind);

struct registry_entry;

/// Owns one temporary file from `open` until `commit` renames it over the target. Destroying it
/// uncommitted, or a SIGINT, SIGTERM or SIGHUP (see `remove_temporary_files_on_signals`), removes
/// the temporary file and leaves the target as it was. A symlink at the target is replaced, not
/// written through, unless it leads to a device or a FIFO. A device, a FIFO or standard output
/// gets the text as it is written, without a temporary file.
class atomic_file {
 public:
  atomic_file() = default;
  atomic_file(const atomic_file&) = delete;
  atomic_file& operator=(const atomic_file&) = delete;
  ~atomic_file();

  /// Creates the temporary file (exclusively, under a short fresh name that fits any folder) in
  /// `target`'s folder, or opens a device, FIFO or standard output for writing (a FIFO waits for
  /// its reader, as a shell's redirection does). False when it can't, or when `target` is empty,
  /// a directory, a socket or a block device; nothing is created then.
  bool open(const std::string& target);

  /// The stream to write through; valid between a successful `open` and `commit`.
  text_out& out() { return out_; }

  /// Flushes, syncs and closes the temporary file and renames it over the target (or flushes and
  /// closes what is written through). False, with the temporary file removed and the target
  /// untouched, when any write, the sync or the rename failed.
  bool commit();

  /// The first half of `commit`: flushes, syncs and closes the temporary file, which stays (and
  /// is still removed by a signal or `discard`) until `publish`. False, with the temporary file
  /// removed, when a write or the sync failed. Without `sync` the caller syncs it before
  /// `publish`, with many others at once (sync_file_system).
  bool finish(bool sync = true);

  /// The second half of `commit`, after a successful `finish`: renames the temporary file over
  /// the target (nothing to do for a file written through). False, with the temporary file
  /// removed, when the rename failed or nothing was finished.
  bool publish();

  /// As `open`, for a file written straight into a staging folder under `staged`, its own name
  /// there (created exclusively, never through a symlink): `publish` renames it to `target` alone,
  /// unless its folder was renamed into place whole (`moved_with_folder`). With an empty
  /// `staged`, the same as `open(target)`.
  bool open_staged(const std::string& target, const std::string& staged);

  /// After a successful `finish`, once its staging folder was renamed into place: the file now
  /// stands at its target, with nothing left to rename or remove.
  void moved_with_folder();

  /// Removes the temporary file now, leaving the target untouched.
  void discard();

  [[nodiscard]] const std::string& target() const { return target_; }

  /// Where the text goes until it is published: the temporary file, or the target itself.
  [[nodiscard]] const std::string& written_path() const {
    return temporary_.empty() ? target_ : temporary_;
  }

  /// True between a successful `finish` and the `publish` or `discard` that follows it.
  [[nodiscard]] bool finished() const { return finished_; }

  /// True between a `finish(false)` of a temporary file and its `publish` or `discard`: its
  /// data is not known to be on disk until sync_finished_files.
  [[nodiscard]] bool awaits_sync() const { return awaits_sync_; }

  /// True when the file is written straight through rather than renamed into place at the end.
  [[nodiscard]] bool in_place() const { return out_.file != nullptr && temporary_.empty(); }

 private:
  bool open_in_place(const std::string& target, int descriptor);
  bool take_temporary(const std::string& target, std::string name, int descriptor);
  void forget_temporary();
  std::string target_;
  std::string temporary_;
  registry_entry* entry_ = nullptr;  // what signal handlers clean up
  text_out out_;
  bool finished_ = false;     // `finish` succeeded; `publish` may rename
  bool awaits_sync_ = false;  // finished without its own sync
};

/// A folder made beside a folder `target` that does not exist yet, for files to be written into
/// under their own names (atomic_file::open_staged) and renamed into place with it in one step
/// (`publish`): a class's thousands of reports then cost one rename, not one each, and appear
/// together. Until then a signal removes it after its files, as destroying it does once they are
/// gone (each file's atomic_file removes its own).
class staging_folder {
 public:
  staging_folder() = default;
  staging_folder(const staging_folder&) = delete;
  staging_folder& operator=(const staging_folder&) = delete;
  ~staging_folder();

  /// Makes the folder, under a short fresh name in `target`'s parent, which must exist. False,
  /// with nothing made, when anything stands at `target` (a dangling symlink too) or the folder
  /// can't be made.
  bool open(const std::string& target);

  [[nodiscard]] const std::string& path() const { return path_; }

  /// Renames the folder to its target. False when that fails (something was put at the target
  /// meanwhile): its files are then published one by one, and `discard` removes it.
  bool publish();

  /// Removes the folder, empty by then; nothing once it is published.
  void discard();

 private:
  std::string target_;
  std::string path_;
  registry_entry* entry_ = nullptr;
};

/// Writes to disk every file of `files` that awaits its sync, with one syncfs for each file
/// system they lie on (many small files cost the disk one sync, not one each). Returns the
/// folders whose sync failed, in the files' order: no file there is known to be on disk.
std::vector<std::string> sync_finished_files(std::span<atomic_file* const> files);

/// Runs `publish_all()` while no temporary file can be sealed away (see
/// `seal_temporary_files`), so that a set of files appears whole or not at all. Returns false
/// without calling it when the files were sealed already.
bool publish_unless_sealed(const std::function<void()>& publish_all);

/// For a thread about to end the process on a signal while other threads write: from now on no
/// temporary file is created and no set is published (a thread that tries waits, or gets false),
/// and every open temporary file is removed. Waits for a file being created, or a set being
/// published, to be done first, so nothing is left behind and no set is left half renamed.
void seal_temporary_files();

/// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every open temporary file and
/// then end the process by the same signal. SIGPIPE and SIGXFSZ are ignored, so a closed pipe or
/// a file grown past `ulimit -f` is a failed write like any other.
void remove_temporary_files_on_signals();

/// Removes every open temporary file, then every staging folder; safe inside a signal handler or a
/// failing allocation's handler, which end the process without running destructors, while other
/// threads open and close temporary files.
void remove_temporary_files_now();
