// Work on a row of items by a few workers, handed back on the calling thread in order: what the
// class run grades two submissions at a time and prints one after another with.
#pragma once

#include <cstddef>

/// What is done with each item: `grade` on a worker (or on the calling thread when no worker can
/// be had), `print` on the calling thread, in order, once the item is graded. Each gets `context`.
struct ordered_work {
  void* context = nullptr;
  void (*grade)(void* context, std::size_t index) = nullptr;
  void (*print)(void* context, std::size_t index) = nullptr;
};

/// Grades items 0 to `count` on up to `workers` threads, a worker taking the next item only while
/// it is fewer than `ahead` past the last one printed (so what graded items leave for printing
/// costs memory for a few, not all), and prints each as soon as those before it are. Without a
/// thread to be had, grades and prints each in turn. Every thread is joined before it returns.
void grade_in_order(std::size_t count, std::size_t workers, std::size_t ahead,
                    const ordered_work& work);
