#include "hashing/key_storage.h"

#include <cstdlib>
#include <new>

namespace {
thread_local void* handed_block = nullptr;
thread_local std::size_t handed_bytes = 0;
}  // namespace

void* allocate_key_storage(std::size_t bytes) {
  if (handed_block != nullptr && handed_bytes == bytes) return take_back_key_storage();
  // malloc(0) may give null; an empty block is still a block.
  const std::size_t asked = bytes == 0 ? 1 : bytes;
  for (;;) {
    if (void* block = std::malloc(asked)) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) std::abort();
    handler();
  }
}

void free_key_storage(void* block) noexcept { std::free(block); }

void hand_over_key_storage(void* block, std::size_t bytes) noexcept {
  handed_block = block;
  handed_bytes = bytes;
}

void* take_back_key_storage() noexcept {
  void* block = handed_block;
  handed_block = nullptr;
  handed_bytes = 0;
  return block;
}
