// The open-addressing table builders, one a strategy of probing.h.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "hashing/key_storage.h"
#include "hashing/probing.h"

using key = std::int32_t;
using key_list = std::vector<key, key_storage<key>>;

/// Largest table the builders allocate: its byte count must fit an unsigned 32-bit count.
inline constexpr std::int64_t max_table_size = (std::int64_t{1} << 30) - 1;

/// The layout `strategy` builds: slot 0 first, `table_size` entries, 0 for an empty slot; keys that
/// find no free slot are dropped. Every key takes the first empty slot of its probe sequence
/// (probing.h) under the strategy's rules, the first list's keys before the second's; a strategy
/// whose first list takes two passes first gives each key of that list that finds its home slot
/// free that slot, then scans the colliding ones along from their home slots. The empty list when
/// the table can't be had (size below 0, above `max_table_size`, or memory exhausted) and, rather
/// than dividing by zero or indexing below the table, when a key is below 0 or when `table_size`
/// is 0 (or 2, where a strategy has no step) and a key is given. Takes near-linear time in
/// `table_size` plus the key count, whatever the keys, and frees its working storage (8 bytes a
/// key while finding repeated keys, then about one bit a slot beside the table) before returning.
key_list build_layout(strategy_id strategy, std::int32_t table_size, const key_list& first_keys,
                      const key_list& second_keys);

/// The layouts of one case, indexed by strategy, each exactly what build_layout gives.
struct layouts {
  std::array<key_list, strategy_count> by_strategy;
  bool allocation_failed = false;  // a size that may be built, but memory for it ran out
};

/// The layout of `strategy` in `built`.
inline const key_list& layout_of(const layouts& built, strategy_id strategy) {
  return built.by_strategy[strategy_index(strategy)];
}
inline key_list& layout_of(layouts& built, strategy_id strategy) {
  return built.by_strategy[strategy_index(strategy)];
}

/// Every layout at once; cheaper than a call for each, since repeated keys are found once and one
/// table serves every strategy.
layouts build_layouts(std::int32_t table_size, const key_list& first_keys,
                      const key_list& second_keys);
