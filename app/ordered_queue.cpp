#include "app/ordered_queue.h"

#include <condition_variable>
#include <mutex>
#include <vector>

#include "hashing/thread_start.h"

namespace {

// The workers' queue and the items finished so far: a worker takes the next item only while it
// is fewer than `ahead` past the last one printed, and the printing thread waits here for the
// next item in order.
struct finish_line {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> done;
  std::size_t ahead = 0;
  std::size_t next = 0;     // the next item to grade
  std::size_t printed = 0;  // items printed so far
};

// The next item for a worker to grade; false when none is left.
bool take_next(finish_line& finished, std::size_t& index) {
  std::unique_lock<std::mutex> lock(finished.mutex);
  const std::size_t count = finished.done.size();
  finished.changed.wait(lock, [&] {
    return finished.next >= count || finished.next < finished.printed + finished.ahead;
  });
  if (finished.next >= count) return false;
  index = finished.next++;
  return true;
}

void mark_done(finish_line& finished, std::size_t index) {
  {
    const std::lock_guard<std::mutex> lock(finished.mutex);
    finished.done[index] = 1;
  }
  finished.changed.notify_all();
}

void wait_done(finish_line& finished, std::size_t index) {
  std::unique_lock<std::mutex> lock(finished.mutex);
  finished.changed.wait(lock, [&] { return finished.done[index] != 0; });
}

void mark_printed(finish_line& finished, std::size_t index) {
  {
    const std::lock_guard<std::mutex> lock(finished.mutex);
    finished.printed = index + 1;
  }
  finished.changed.notify_all();
}

// What a worker thread is handed.
struct worker_job {
  const ordered_work* work = nullptr;
  finish_line* finished = nullptr;
};

void* work_on(void* argument) {
  const auto* job = static_cast<const worker_job*>(argument);
  std::size_t index = 0;
  while (take_next(*job->finished, index)) {
    job->work->grade(job->work->context, index);
    mark_done(*job->finished, index);
  }
  return nullptr;
}

}  // namespace

void grade_in_order(std::size_t count, std::size_t workers, std::size_t ahead,
                    const ordered_work& work) {
  finish_line finished;
  finished.done.assign(count, 0);
  finished.ahead = ahead;
  std::vector<worker_job> jobs(workers, worker_job{&work, &finished});
  std::vector<helper_thread> threads(workers);
  std::size_t started = 0;
  for (std::size_t w = 0; w < workers; ++w) {
    // Without a worker (none can be had) this thread grades each item before printing it.
    if (!threads[started].start(work_on, &jobs[w])) break;
    ++started;
  }
  for (std::size_t index = 0; index < count; ++index) {
    if (started == 0) {
      work.grade(work.context, index);
    } else {
      wait_done(finished, index);
    }
    work.print(work.context, index);
    mark_printed(finished, index);
  }
  for (helper_thread& thread : threads) thread.join();
}
