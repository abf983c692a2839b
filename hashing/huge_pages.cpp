#include "hashing/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {
constexpr std::uintptr_t huge_page = std::uintptr_t{1} << 21;
constexpr std::uintptr_t small_page = std::uintptr_t{1} << 12;

// Calls `advise` on the pages of `page` bytes that lie wholly inside [data, data + bytes).
template <typename advise_fn>
void whole_pages(void* data, std::size_t bytes, std::uintptr_t page, advise_fn advise) {
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + page - 1) & ~(page - 1);
  const std::uintptr_t last = (start + bytes) & ~(page - 1);
  if (last > first) advise(static_cast<char*>(data) + (first - start), last - first);
}
}  // namespace

void advise_huge_pages(void* data, std::size_t bytes) {
  // A refusal (no such advice on this kernel) leaves ordinary pages, which work the same.
  whole_pages(data, bytes, huge_page,
              [](void* first, std::size_t length) { ::madvise(first, length, MADV_HUGEPAGE); });
}

void release_pages(void* data, std::size_t bytes) {
  whole_pages(data, bytes, small_page,
              [](void* first, std::size_t length) { ::madvise(first, length, MADV_DONTNEED); });
}

void reserve_keys(key_list& keys, std::size_t count) {
  if (count <= keys.capacity()) return;
  // A fresh buffer is advised before the old keys are copied in, so that copy already lands in
  // huge pages.
  key_list bigger;
  bigger.reserve(count);
  advise_huge_pages(bigger.data(), count * sizeof(key));
  bigger.insert(bigger.end(), keys.begin(), keys.end());
  keys.swap(bigger);
}

bool can_hold_keys(std::size_t count) {
  if (count > key_list().max_size()) return false;
  // Through a volatile: a block freed unused may otherwise be no allocation at all to the
  // optimizer (clang folds the pair away and the answer to true).
  void* volatile room = std::malloc(count * sizeof(key));
  void* const had = room;
  std::free(had);
  return had != nullptr;
}

bool try_reserve_keys(key_list& keys, std::size_t count) {
  if (count <= keys.capacity()) return true;
  if (count > keys.max_size()) return false;
  // operator new has no way to say no but the new handler, which ends the run; malloc only says
  // no. The block malloc gives is the one the list takes, so no other allocation can come between.
  void* room = std::malloc(count * sizeof(key));
  if (room == nullptr) return false;
  hand_over_key_storage(room, count * sizeof(key));
  reserve_keys(keys, count);
  std::free(take_back_key_storage());  // null: the list took it
  return true;
}
