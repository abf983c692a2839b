// Inputs made to order: a small input whose audit catches every known mistake, and the keys of
// one large case of a chosen shape.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checker/results.h"
#include "hashing/hash_table.h"

/// Keys of generated small inputs stay at or below this, so that a person reads them easily.
inline constexpr key largest_generated_key = 999;

/// splitmix64's step: the same numbers on every platform, unlike the standard distributions.
std::uint64_t mix_seed(std::uint64_t x);

/// A generated input: its cases, numbered from 0 and built, or why none could be made.
struct generated_input {
  std::vector<case_result> cases;
  std::string refusal;     // one line, empty when `cases` holds the input
  bool too_small = false;  // refused for `max_size`, whatever the seed
};

/// Searches, from `seed`, for a few cases of at most `max_size` slots and keys from 0 to
/// largest_generated_key whose audit catches every mistake on every strategy it applies to, then
/// drops every case the others make needless; cases from the same seed then follow until the
/// input holds a key 0, a table filled to its last slot, a table with more keys than slots and
/// at least 3 and `least_cases` cases, and the audit is still clean. The
/// same seed, size and count give the same cases, and a count the search reaches alone changes
/// nothing. Refuses when some mistake can be revealed by no table of `max_size` slots or fewer.
generated_input generate_input(std::uint64_t seed, std::int64_t max_size,
                               std::int64_t least_cases = 1);

enum class large_shape { random, clustered, wrap, repeated };

/// The shape named "random", "clustered", "wrap" or "repeated"; random for any other name.
large_shape shape_named(std::string_view name);

/// One in this many keys of a repeated-shape case is a key met earlier.
inline constexpr std::uint64_t repeated_share = 10;

/// Key `index` (from 0) of a large case of `table_size` slots: a function of its arguments alone,
/// so a case of any length is written key by key without holding it. random: any key from 1 to
/// 2^31 - 1; clustered: home slots in the first 1/256 of the table; wrap: home slots in its last
/// 1/256, so clusters run past the last slot; repeated: random, but one key in repeated_share is
/// an earlier key again.
key large_case_key(large_shape shape, std::uint64_t seed, std::int64_t table_size,
                   std::uint64_t index);
