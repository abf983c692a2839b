// The one way the program starts a helper thread. Every caller has an inline fallback for when
// no thread can be had, so a build without threads (WebAssembly without shared memory, where a
// page opened from a file can't have any) simply takes the fallbacks everywhere.
#pragma once

#include <pthread.h>

/// Starts `routine(argument)` on a new joinable thread stored in `thread`. Returns false when no
/// thread was started (none can be had, or the build has no threads): the caller then does the
/// work itself and must not join.
inline bool start_thread(pthread_t& thread, void* (*routine)(void*), void* argument) {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  (void)thread;
  (void)routine;
  (void)argument;
  return false;
#else
  return ::pthread_create(&thread, nullptr, routine, argument) == 0;
#endif
}
