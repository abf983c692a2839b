// For the length of a class run, SIGINT, SIGTERM and SIGHUP are blocked in every thread and
// taken by one watching thread instead of a handler: it stops all creating and renaming of the
// run's files, removes every temporary file, and ends the process by the signal. A worker that
// is creating a file at that moment finishes creating it first, so none is left behind, and a
// set of files being renamed is renamed whole first, so the folder never holds half a run.
#pragma once

#include <atomic>
#include <csignal>

#include "hashing/thread_start.h"

/// Watches from its construction to its end; without a thread to watch on, the handlers of
/// remove_temporary_files_on_signals stay in charge.
class signal_watch {
 public:
  signal_watch();
  signal_watch(const signal_watch&) = delete;
  signal_watch& operator=(const signal_watch&) = delete;
  ~signal_watch();

 private:
  static void* watch(void* self);
  [[noreturn]] static void end_by(int signal_number);

  sigset_t signals_{};
  sigset_t previous_{};
  helper_thread thread_;
  std::atomic<bool> done_{false};
  bool blocked_ = false;
  bool started_ = false;
};
