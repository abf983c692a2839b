// The one way the program starts a helper thread. A thread is a help, never a need: where none
// can be had (the system refuses one, or a WebAssembly build without shared memory, where a page
// opened from a file can't have any) the work is done on the caller's thread instead, and the
// output is the same.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>

/// How many more threads may be started before every start fails as if none could be had;
/// below 0 (the default) none is made to fail. Tests set it to see each site do its work
/// without a thread.
inline std::atomic<long> thread_starts_left{-1};

/// One piece of work done beside the caller's own, on a thread of its own when one can be had.
/// The thread is always joined before the helper is gone, so no work outlives its scope.
class helper_thread {
 public:
  helper_thread() = default;
  helper_thread(const helper_thread&) = delete;
  helper_thread& operator=(const helper_thread&) = delete;
  ~helper_thread() { join(); }

  /// Runs `routine(argument)` on a new thread, on a stack of `stack_bytes` when that is above 0
  /// and the system takes it, else of the default size; where no thread can be had, runs it here
  /// before returning. True when it went to a thread, which join() waits for.
  bool run(void* (*routine)(void*), void* argument, std::size_t stack_bytes = 0) noexcept {
    if (start(routine, argument, stack_bytes)) return true;
    routine(argument);
    return false;
  }

  /// As run, but where no thread can be had runs nothing and returns false: the caller then does
  /// the work its own way (the whole of it, in order, after its own).
  bool start(void* (*routine)(void*), void* argument, std::size_t stack_bytes = 0) noexcept {
    join();
    started_ = may_start() && create(routine, argument, stack_bytes);
    return started_;
  }

  /// Waits for the work started on a thread; nothing when none runs.
  void join() noexcept {
    if (started_) ::pthread_join(thread_, nullptr);
    started_ = false;
  }

  /// True from a start that got a thread until join.
  [[nodiscard]] bool running() const noexcept { return started_; }

 private:
  static bool may_start() noexcept {
    long left = thread_starts_left.load(std::memory_order_relaxed);
    while (left >= 0) {
      if (left == 0) return false;
      if (thread_starts_left.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
        break;
      }
    }
    return true;
  }

  bool create(void* (*routine)(void*), void* argument, std::size_t stack_bytes) noexcept {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    (void)routine;
    (void)argument;
    (void)stack_bytes;
    return false;
#else
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) return false;
    if (stack_bytes > 0) ::pthread_attr_setstacksize(&attributes, stack_bytes);
    const bool created = ::pthread_create(&thread_, &attributes, routine, argument) == 0;
    ::pthread_attr_destroy(&attributes);
    return created;
#endif
  }

  pthread_t thread_{};
  bool started_ = false;
};
