// Large key lists and tables backed by huge pages where the system offers them on request
// (transparent huge pages in "madvise" mode): a 10^7-slot case then takes a few hundred page
// faults instead of a hundred thousand, and its random probes miss the TLB far less.
#pragma once

#include <cstddef>

#include "hashing/hash_table.h"

/// Asks for huge pages over the whole 2 MiB pages inside [data, data + bytes). Only a hint: a
/// range holding no whole huge page, or a system without them, is left as it is. Call it before
/// the memory is first touched; pages already touched keep their size.
void advise_huge_pages(void* data, std::size_t bytes);

/// Gives the whole pages inside [data, data + bytes) back to the system at once, for memory about
/// to be freed whose pages are already copied elsewhere; they read as zeros afterwards.
void release_pages(void* data, std::size_t bytes);

/// Makes room in `keys` for at least `count` keys, keeping its contents, with huge pages for a
/// large list. Running out of memory is what it is for any vector growth (the new handler).
void reserve_keys(key_list& keys, std::size_t count);

/// Whether room for `count` keys can be had now: malloc is asked for it and it is let go. Only a
/// hint, as another thread may take the room next.
bool can_hold_keys(std::size_t count);

/// As reserve_keys, but false, with `keys` unchanged, when the room can't be had, where
/// reserve_keys would end the run; for storage whose lack is an ordinary outcome. The block
/// malloc gives is the list's new storage, so once it is had nothing can take it first.
bool try_reserve_keys(key_list& keys, std::size_t count);

/// Appends `k`, growing a full list to twice its size through reserve_keys.
inline void append_key(key_list& keys, key k) {
  if (keys.size() == keys.capacity()) reserve_keys(keys, keys.size() * 2 + 16);
  keys.push_back(k);
}
