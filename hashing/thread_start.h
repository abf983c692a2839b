// The one way the program starts a helper thread. Every caller has an inline fallback for when
// no thread can be had, so a build without threads (WebAssembly without shared memory, where a
// page opened from a file can't have any) simply takes the fallbacks everywhere.
#pragma once

#include <pthread.h>

#include <cstddef>

/// Starts `routine(argument)` on a new joinable thread stored in `thread`, on a stack of
/// `stack_bytes` when that is above 0 and the system takes it, else of the default size. Returns
/// false when no thread was started (none can be had, or the build has no threads): the caller
/// then does the work itself and must not join.
inline bool start_thread(pthread_t& thread, void* (*routine)(void*), void* argument,
                         std::size_t stack_bytes = 0) {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  (void)thread;
  (void)routine;
  (void)argument;
  (void)stack_bytes;
  return false;
#else
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return false;
  if (stack_bytes > 0) ::pthread_attr_setstacksize(&attributes, stack_bytes);
  const bool started = ::pthread_create(&thread, &attributes, routine, argument) == 0;
  ::pthread_attr_destroy(&attributes);
  return started;
#endif
}
