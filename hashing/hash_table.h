// The three open-addressing table builders and the hash functions they share.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "hashing/key_storage.h"

using key = std::int32_t;
using key_list = std::vector<key, key_storage<key>>;

/// Home slot of `k`: the truncating remainder k mod `table_size`. Computed in 64 bits, so no input
/// overflows; a `table_size` of 0 has no remainder and gives 0.
std::int64_t primary_hash(std::int64_t k, std::int64_t table_size);

/// Step of double hashing: (k mod (`table_size` - 2)) + 1, truncating; between 1 and m - 2 for
/// k >= 0 and m >= 3, and 1 for m = 1. A `table_size` of 2 has no remainder and gives 1.
std::int64_t step_hash(std::int64_t k, std::int64_t table_size);

/// Probe `i` of double hashing: (primary_hash + i * step_hash) mod `table_size`, in 64 bits, so
/// every table size below 2^30 gets the exact slot. Gives 0 for a `table_size` of 0 or 2.
std::int64_t double_hash_slot(std::int64_t k, std::int64_t i, std::int64_t table_size);

/// Largest table the builders allocate: its byte count must fit an unsigned 32-bit count.
inline constexpr std::int64_t max_table_size = (std::int64_t{1} << 30) - 1;

/// Slot layouts, slot 0 first, `table_size` entries, 0 for an empty slot; keys that find no free
/// slot are dropped. Each returns the empty list when the table can't be had (size below 0, above
/// `max_table_size`, or memory exhausted) and, rather than dividing by zero or indexing below the
/// table, when a key is below 0 or when `table_size` is 0 (or 2, for double hashing) and a key is
/// given. Linear probing inserts every key with a linear scan from its home slot. Each builder
/// takes near-linear time in `table_size` plus the key count, whatever the keys, and frees its
/// working storage (16 bytes a key while finding repeated keys, then about one bit a slot beside
/// the table) before returning.
key_list linear_prob(std::int32_t table_size, const key_list& first_keys,
                     const key_list& second_keys);

/// As `linear_prob`, but every key of `first_keys` that finds its home slot free takes it before
/// the colliding keys of `first_keys` are scanned along; `second_keys` then go in one by one, as
/// in linear probing. Table size 2 is valid here.
key_list two_pass_hashing(std::int32_t table_size, const key_list& first_keys,
                          const key_list& second_keys);

/// As `linear_prob`, but each key tries three double-hash probes before a linear scan that starts
/// after its third probe.
key_list double_hashing(std::int32_t table_size, const key_list& first_keys,
                        const key_list& second_keys);

/// The three strategies, in the order a case builds and an output file lists them.
enum class strategy_id { linear_probing, two_pass_hashing, double_hashing };
inline constexpr std::array<strategy_id, 3> all_strategies{
    strategy_id::linear_probing, strategy_id::two_pass_hashing, strategy_id::double_hashing};

/// The three layouts of one case, each exactly what its builder above returns.
struct layouts {
  key_list linear_prob_contents;
  key_list two_pass_hasing_contents;
  key_list double_hasing_contents;
  bool allocation_failed = false;  // a size that may be built, but memory for it ran out
};

/// All three layouts at once, in the order linear probing, two-pass hashing, double hashing;
/// cheaper than three calls, since repeated keys are found once and one table serves all three.
layouts build_layouts(std::int32_t table_size, const key_list& first_keys,
                      const key_list& second_keys);
