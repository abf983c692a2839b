#include "app/signal_watch.h"

#include <pthread.h>

#include <cstdlib>
#include <ctime>

#include "render/atomic_file.h"

signal_watch::signal_watch() {
  sigemptyset(&signals_);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, signal_number);
  blocked_ = ::pthread_sigmask(SIG_BLOCK, &signals_, &previous_) == 0;
  started_ = blocked_ && thread_.start(watch, this);
  if (blocked_ && !started_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

signal_watch::~signal_watch() {
  if (!started_) return;
  done_.store(true);
  thread_.join();
  // A signal that came after the watch ended is delivered now, to the handlers.
  ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void* signal_watch::watch(void* self) {
  auto* w = static_cast<signal_watch*>(self);
  const timespec tick{0, 20'000'000};  // how long the end of the run may wait for this thread
  while (!w->done_.load()) {
    const int signal_number = ::sigtimedwait(&w->signals_, nullptr, &tick);
    if (signal_number > 0) end_by(signal_number);
  }
  return nullptr;
}

void signal_watch::end_by(int signal_number) {
  seal_temporary_files();
  std::signal(signal_number, SIG_DFL);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
  std::raise(signal_number);
  // cppcheck-suppress unreachableCode ; raise returns when the signal is still blocked somehow
  std::_Exit(128 + signal_number);  // only if the signal did not end the process
}
