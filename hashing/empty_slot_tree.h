// The empty slots of a table as a 64-ary tree of bitsets. Bit i of level 0 is set while slot i is
// empty; bit w of each level above is set while word w of the level below has a bit set. The
// first empty slot at or after a start climbs until a word holds a set bit at or after its
// position and descends along the lowest set bits: at most five levels below 2^30 slots, a few
// word reads however long the clusters grow, at about one bit a slot (which stays in cache for
// tables far larger than their slot arrays would).
//
// The words live in a block the caller owns; these functions only read and write it.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

inline constexpr int empty_tree_most_levels = 6;

/// Where each level's words start in the block, and how many it has.
struct empty_tree_layout {
  std::array<std::size_t, empty_tree_most_levels> first_word{};
  std::array<std::size_t, empty_tree_most_levels> word_count{};
  int levels = 0;
};

/// The levels for `size` slots (at most 2^36); the block needs `layout.words()` words.
inline empty_tree_layout lay_out_empty_tree(std::size_t size) {
  empty_tree_layout e;
  std::size_t total = 0;
  std::size_t bits = size;
  do {
    e.first_word[e.levels] = total;
    e.word_count[e.levels] = (bits + 63) / 64;
    total += e.word_count[e.levels];
    bits = e.word_count[e.levels++];
  } while (bits > 1);
  return e;
}

/// How many words the block of `e` holds.
inline std::size_t empty_tree_words(const empty_tree_layout& e) {
  return e.first_word[e.levels - 1] + e.word_count[e.levels - 1];
}

/// Marks each of `size` slots empty in `words`: every bit below each level's bit count set, the
/// rest clear.
inline void mark_all_empty(const empty_tree_layout& e, std::uint64_t* words, std::size_t size) {
  std::size_t bits = size;
  for (int level = 0; level < e.levels; ++level) {
    std::uint64_t* level_words = words + e.first_word[level];
    const std::size_t full = bits / 64;
    std::fill(level_words, level_words + full, ~std::uint64_t{0});
    if (bits % 64 != 0) level_words[full] = (std::uint64_t{1} << (bits % 64)) - 1;
    bits = e.word_count[level];
  }
}

inline bool slot_is_empty(const std::uint64_t* words, std::size_t slot) {
  return (words[slot / 64] >> (slot % 64)) & 1U;
}

/// Marks `slot` filled, and a word's bit one level up whenever the word fills.
inline void mark_filled(const empty_tree_layout& e, std::uint64_t* words, std::size_t slot) {
  for (int level = 0; level < e.levels; ++level) {
    std::uint64_t& word = words[e.first_word[level] + slot / 64];
    word &= ~(std::uint64_t{1} << (slot % 64));
    if (word != 0) return;
    slot /= 64;
  }
}

/// The first empty slot at or after `from` (0 <= from <= size), or `size` when there is none
/// before the end.
inline std::int64_t first_empty_at_or_after(const empty_tree_layout& e, const std::uint64_t* words,
                                            std::int64_t size, std::int64_t from) {
  auto position = static_cast<std::size_t>(from);
  int level = 0;
  for (;; ++level) {
    if (level == e.levels || position / 64 >= e.word_count[level]) return size;
    const std::uint64_t word =
        words[e.first_word[level] + position / 64] & (~std::uint64_t{0} << (position % 64));
    if (word != 0) {
      position = position / 64 * 64 + static_cast<std::size_t>(std::countr_zero(word));
      break;
    }
    position = position / 64 + 1;  // on to the next word, seen from the level above
  }
  while (level-- > 0) {
    position = position * 64 +
               static_cast<std::size_t>(std::countr_zero(words[e.first_word[level] + position]));
  }
  return static_cast<std::int64_t>(position);
}
