#include "hashing/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace {
constexpr std::uintptr_t huge_page = std::uintptr_t{1} << 21;
}

void advise_huge_pages(void* data, std::size_t bytes) {
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + huge_page - 1) & ~(huge_page - 1);
  const std::uintptr_t last = (start + bytes) & ~(huge_page - 1);
  if (last <= first) return;
  // A refusal (no such advice on this kernel) leaves ordinary pages, which work the same.
  ::madvise(static_cast<char*>(data) + (first - start), last - first, MADV_HUGEPAGE);
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
