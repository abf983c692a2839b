// The fast builders against the probe-by-probe reference on seeded random input.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "hashing/hash_table.h"
#include "reference/reference_builders.h"

namespace {

using key_source = key_list (*)(std::mt19937& rng, std::int32_t size, std::size_t count);

constexpr key largest_key = std::numeric_limits<key>::max();

key draw(std::mt19937& rng, key low, key high) {
  return std::uniform_int_distribution<key>(low, high)(rng);
}

key_list draw_keys(std::mt19937& rng, std::size_t count, key low, key high) {
  key_list keys(count);
  for (key& k : keys) k = draw(rng, low, high);
  return keys;
}

// Keys sharing the homes in `homes`, with steps of the table size so that clusters pile up.
key_list clustered(std::mt19937& rng, std::int32_t size, std::size_t count, int homes) {
  key_list starts = draw_keys(rng, static_cast<std::size_t>(homes), 0, size - 1);
  key_list keys(count);
  for (key& k : keys) {
    k = starts[draw(rng, 0, homes - 1)] + size * draw(rng, 0, largest_key / size - 1);
  }
  return keys;
}

key_list wide(std::mt19937& rng, std::int32_t, std::size_t count) {
  return draw_keys(rng, count, 0, largest_key);
}

// Zeros and repeats come often, and neighbouring homes make clusters merge.
key_list narrow(std::mt19937& rng, std::int32_t size, std::size_t count) {
  return draw_keys(rng, count, 0, 2 * size + 1);
}

key_list near_largest(std::mt19937& rng, std::int32_t size, std::size_t count) {
  return draw_keys(rng, count, largest_key - 3 * size, largest_key);
}

key_list one_home(std::mt19937& rng, std::int32_t size, std::size_t count) {
  return clustered(rng, size, count, 1);
}

key_list few_homes(std::mt19937& rng, std::int32_t size, std::size_t count) {
  return clustered(rng, size, count, 3);
}

// One home, with keys repeated from earlier in the list and zeros spread through it.
key_list one_home_repeats_zeros(std::mt19937& rng, std::int32_t size, std::size_t count) {
  key_list keys = clustered(rng, size, count, 1);
  for (std::size_t i = 1; i < count; ++i) {
    const int roll = draw(rng, 0, 3);
    if (roll == 0) keys[i] = 0;
    if (roll == 1) keys[i] = keys[static_cast<std::size_t>(draw(rng, 0, static_cast<key>(i) - 1))];
  }
  return keys;
}

struct split_keys {
  key_list first;
  key_list second;
};

split_keys split(std::mt19937& rng, const key_list& keys) {
  const auto at = static_cast<std::ptrdiff_t>(draw(rng, 0, static_cast<key>(keys.size())));
  return {key_list(keys.begin(), keys.begin() + at), key_list(keys.begin() + at, keys.end())};
}

std::string describe(std::int32_t size, const split_keys& keys) {
  std::ostringstream out;
  out << "table size " << size << ", first keys";
  for (const key k : keys.first) out << ' ' << k;
  out << ", second keys";
  for (const key k : keys.second) out << ' ' << k;
  return out.str();
}

// Adds one failure naming the case and returns false when any builder, or the three built at
// once, differ from the reference.
bool builders_agree(std::int32_t size, const split_keys& keys) {
  const bool same = build_layout(strategy_id::linear_probing, size, keys.first, keys.second) ==
                        reference_linear_probing(size, keys.first, keys.second) &&
                    build_layout(strategy_id::two_pass_hashing, size, keys.first, keys.second) ==
                        reference_two_pass_hashing(size, keys.first, keys.second) &&
                    build_layout(strategy_id::double_hashing, size, keys.first, keys.second) ==
                        reference_double_hashing(size, keys.first, keys.second);
  const layouts all = build_layouts(size, keys.first, keys.second);
  const bool same_at_once = layout_of(all, strategy_id::linear_probing) ==
                                reference_linear_probing(size, keys.first, keys.second) &&
                            layout_of(all, strategy_id::two_pass_hashing) ==
                                reference_two_pass_hashing(size, keys.first, keys.second) &&
                            layout_of(all, strategy_id::double_hashing) ==
                                reference_double_hashing(size, keys.first, keys.second);
  if (!same || !same_at_once) ADD_FAILURE() << describe(size, keys);
  return same && same_at_once;
}

struct distribution {
  std::string name;
  key_source make;
};

// gtest looks this name up to print a parameter.
void PrintTo(const distribution& d, std::ostream* os) {  // NOLINT(readability-identifier-naming)
  *os << d.name;
}

class differential : public testing::TestWithParam<distribution> {};

// Table sizes 1 and 3..64, each with every key count from none up to three times the size.
TEST_P(differential, small_tables_every_key_count) {
  std::mt19937 rng(20240611);
  for (std::int32_t size = 1; size <= 64; size += size == 1 ? 2 : 1) {
    for (std::size_t count = 0; count <= 3 * static_cast<std::size_t>(size); ++count) {
      if (!builders_agree(size, split(rng, GetParam().make(rng, size, count)))) return;
    }
  }
}

TEST_P(differential, larger_tables_filled_past_full) {
  std::mt19937 rng(7);
  for (const std::int32_t size : {1000, 2048, 4999}) {
    const auto count = static_cast<std::size_t>(size) * 3 / 2;
    if (!builders_agree(size, split(rng, GetParam().make(rng, size, count)))) return;
  }
}

// Tables large enough that the three strategies are filled at once on threads of their own, with
// keys spread over every bucket of the search for repeated keys.
// Only spread keys: a few long clusters make the reference builders quadratic at this size.
class differential_on_threads : public differential {};

TEST_P(differential_on_threads, tables_filled_on_threads) {
  std::mt19937 rng(65537);
  for (const std::int32_t size : {65536, 70001}) {
    const auto count = static_cast<std::size_t>(size) * 9 / 10;
    if (!builders_agree(size, split(rng, GetParam().make(rng, size, count)))) return;
  }
}

INSTANTIATE_TEST_SUITE_P(
    keys, differential,
    testing::Values(distribution{"wide", wide}, distribution{"narrow", narrow},
                    distribution{"near_largest", near_largest}, distribution{"one_home", one_home},
                    distribution{"few_homes", few_homes},
                    distribution{"one_home_repeats_zeros", one_home_repeats_zeros}),
    [](const testing::TestParamInfo<distribution>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(spread_keys, differential_on_threads,
                         testing::Values(distribution{"wide", wide}, distribution{"narrow", narrow},
                                         distribution{"near_largest", near_largest}),
                         [](const testing::TestParamInfo<distribution>& info) {
                           return info.param.name;
                         });

// Sizes the builders refuse, or refuse with keys, and keys below zero anywhere in either list.
TEST(differential_frame, rejected_sizes_and_negative_keys) {
  std::mt19937 rng(99);
  for (const std::int32_t size : {0, 2, -1, -7, std::int32_t{max_table_size} + 1}) {
    for (std::size_t count = 0; count <= 6; ++count) {
      if (!builders_agree(size, split(rng, draw_keys(rng, count, 0, 50)))) return;
    }
  }
  for (std::int32_t size = 1; size <= 40; ++size) {
    key_list keys = draw_keys(rng, 1 + static_cast<std::size_t>(size), 0, 3 * size);
    keys[static_cast<std::size_t>(draw(rng, 0, size))] =
        draw(rng, std::numeric_limits<key>::min(), -1);
    if (!builders_agree(size, split(rng, keys))) return;
  }
}

}  // namespace
