// The storage of key lists: malloc's own blocks, so that room found free can be given to a list
// as it is. operator new can't say no (its one way out is the new handler, which ends the run),
// and room that malloc gave and took back is no promise that operator new gets it next: under
// WebAssembly's memory cap the first was seen to succeed and the second to fail.
#pragma once

#include <cstddef>

/// A block of `bytes` for a key list: the one handed over on this thread when it is that long,
/// else malloc's. Where malloc says no, the new handler is called as operator new calls it (it
/// makes room or ends the run) and without one the run aborts; so it never returns null.
void* allocate_key_storage(std::size_t bytes);

/// Gives back a block of allocate_key_storage.
void free_key_storage(void* block) noexcept;

/// Hands `block` (from malloc, `bytes` long) to the next allocate_key_storage of `bytes` on this
/// thread; take_back_key_storage returns it if none took it, else null.
void hand_over_key_storage(void* block, std::size_t bytes) noexcept;
void* take_back_key_storage() noexcept;

/// The allocator of key lists, through allocate_key_storage.
template <typename T>
struct key_storage {
  using value_type = T;
  key_storage() noexcept = default;
  // Lists convert their allocator between element types without saying so.
  template <typename U>
  // cppcheck-suppress noExplicitConstructor
  explicit(false) key_storage(const key_storage<U>& /*other*/) noexcept {}
  T* allocate(std::size_t count) {
    return static_cast<T*>(allocate_key_storage(count * sizeof(T)));
  }
  void deallocate(T* block, std::size_t /*count*/) noexcept { free_key_storage(block); }
  friend bool operator==(const key_storage& /*a*/, const key_storage& /*b*/) noexcept {
    return true;
  }
};
