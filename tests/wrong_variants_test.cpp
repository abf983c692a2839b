// The mistaken builders against literal probe-by-probe versions of each mistake, plus the key
// ordering they share with the diagnosis.
#include "hashing/wrong_variants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>

#include "checker/results.h"
#include "tests/reference_builders.h"

namespace {

// ---- Literal builders: every key probed slot by slot, repeats and key 0 not skipped ----

struct literal_rules {
  bool wrap = true;
  bool free_if_same_key = true;
  bool second_two_pass = false;
  int step_form = 0;  // 0: k % (m - 2) + 1, 1: k % (m - 2), 2: k % (m - 1) + 1
  int probes = 3;
  bool scan_from_home = false;
  bool keep_probing = false;
};

struct literal_table {
  key_list slots;
  literal_rules rules;
};

std::int64_t size_of(const literal_table& t) { return static_cast<std::int64_t>(t.slots.size()); }

bool try_store(literal_table& t, std::int64_t slot, key k) {
  key& held = t.slots[static_cast<std::size_t>(slot)];
  if (held != 0 && !(t.rules.free_if_same_key && held == k)) return false;
  held = k;
  return true;
}

void literal_scan_after(literal_table& t, std::int64_t start, key k) {
  const std::int64_t m = size_of(t);
  for (std::int64_t i = 1; i < m; ++i) {
    if (start + i >= m && !t.rules.wrap) return;
    if (try_store(t, (start + i) % m, k)) return;
  }
}

void literal_linear(literal_table& t, key k) {
  const std::int64_t home = k % size_of(t);
  if (!try_store(t, home, k)) literal_scan_after(t, home, k);
}

std::int64_t literal_step(const literal_table& t, key k) {
  const std::int64_t m = size_of(t);
  if (t.rules.step_form == 1) return k % (m - 2);
  if (t.rules.step_form == 2) return k % (m - 1) + 1;
  return k % (m - 2) + 1;
}

void literal_double(literal_table& t, key k) {
  const std::int64_t m = size_of(t);
  const std::int64_t home = k % m;
  const std::int64_t step = literal_step(t, k);
  const int probes = t.rules.keep_probing ? static_cast<int>(m) : t.rules.probes;
  std::int64_t slot = home;
  for (int i = 0; i < probes; ++i) {
    slot = (home + i * step) % m;
    if (try_store(t, slot, k)) return;
  }
  if (!t.rules.keep_probing) literal_scan_after(t, t.rules.scan_from_home ? home : slot, k);
}

void literal_two_pass(literal_table& t, const key_list& keys) {
  key_list remained;
  for (const key k : keys) {
    if (!try_store(t, k % size_of(t), k)) remained.push_back(k);
  }
  for (const key k : remained) literal_scan_after(t, k % size_of(t), k);
}

key_list literal_build(strategy_id strategy, std::int32_t m, const key_list& first,
                       const key_list& second, const literal_rules& rules) {
  literal_table t{key_list(static_cast<std::size_t>(m), 0), rules};
  if (strategy == strategy_id::two_pass_hashing) {
    literal_two_pass(t, first);
    if (rules.second_two_pass) {
      literal_two_pass(t, second);
    } else {
      for (const key k : second) literal_linear(t, k);
    }
    return t.slots;
  }
  for (const key_list* keys : {&first, &second}) {
    for (const key k : *keys) {
      if (strategy == strategy_id::linear_probing) {
        literal_linear(t, k);
      } else {
        literal_double(t, k);
      }
    }
  }
  return t.slots;
}

key_list literal_correct(strategy_id strategy, std::int32_t m, const key_list& first,
                         const key_list& second) {
  if (strategy == strategy_id::linear_probing) return reference_linear_prob(m, first, second);
  if (strategy == strategy_id::two_pass_hashing) {
    return reference_two_pass_hashing(m, first, second);
  }
  return reference_double_hashing(m, first, second);
}

key_list literal_variant(variant_id id, strategy_id strategy, std::int32_t m, const key_list& first,
                         const key_list& second) {
  literal_rules rules;
  switch (id) {
    case variant_id::lists_swapped:
      return literal_correct(strategy, m, second, first);
    case variant_id::no_wrap_around:
      rules.wrap = false;
      break;
    case variant_id::repeated_key_stored:
      rules.free_if_same_key = false;
      break;
    case variant_id::second_list_two_pass:
      rules.second_two_pass = true;
      break;
    case variant_id::step_without_plus_one:
      rules.step_form = 1;
      break;
    case variant_id::step_modulo_m_minus_1:
      rules.step_form = 2;
      break;
    case variant_id::scan_from_home:
      rules.scan_from_home = true;
      break;
    case variant_id::two_probes:
      rules.probes = 2;
      break;
    case variant_id::four_probes:
      rules.probes = 4;
      break;
    case variant_id::double_probing_continues:
      rules.keep_probing = true;
      break;
  }
  return literal_build(strategy, m, first, second, rules);
}

// ---- Random cases ----

key_list draw_keys(std::mt19937& rng, std::size_t count, key high) {
  key_list keys(count);
  for (key& k : keys) k = std::uniform_int_distribution<key>(0, high)(rng);
  return keys;
}

TEST(literal_builder, without_a_change_is_the_reference_builder) {
  std::mt19937 rng(11);
  for (int round = 0; round < 2000; ++round) {
    const auto m = std::uniform_int_distribution<std::int32_t>(3, 12)(rng);
    const key_list first = draw_keys(rng, rng() % 12, 3 * m);
    const key_list second = draw_keys(rng, rng() % 6, 3 * m);
    for (const strategy_id s : all_strategies) {
      ASSERT_EQ(literal_build(s, m, first, second, {}), literal_correct(s, m, first, second));
    }
  }
}

TEST(build_variant, matches_the_literal_mistake_on_random_small_tables) {
  std::mt19937 rng(5);
  for (int round = 0; round < 3000; ++round) {
    const auto m = std::uniform_int_distribution<std::int32_t>(3, 13)(rng);
    // Narrow ranges give zeros, repeats and full tables often.
    const key_list first =
        draw_keys(rng, rng() % (std::size_t{2} * static_cast<std::size_t>(m)), 3 * m);
    const key_list second = draw_keys(rng, rng() % m, 3 * m);
    for (const variant_id id : all_variants) {
      for (const strategy_id s : all_strategies) {
        if (!variant_applies(id, s)) continue;
        ASSERT_EQ(build_variant(id, s, m, first, second), literal_variant(id, s, m, first, second))
            << variant_key(id) << " " << strategy_key(s) << " m=" << m << " round " << round;
      }
    }
  }
}

// ---- Known cases, worked by hand; the diagnosis tests name every mistake on its own case ----

struct variant_case {
  std::string name;
  variant_id id;
  strategy_id strategy;
  std::int32_t table_size;
  key_list first_keys;
  key_list second_keys;
  key_list layout;
};

void PrintTo(const variant_case& c, std::ostream* os) { *os << c.name; }

class known_variants : public testing::TestWithParam<variant_case> {};

TEST_P(known_variants, give_the_worked_layout) {
  const variant_case& c = GetParam();
  EXPECT_EQ(build_variant(c.id, c.strategy, c.table_size, c.first_keys, c.second_keys), c.layout);
}

constexpr auto lp = strategy_id::linear_probing;
constexpr auto tp = strategy_id::two_pass_hashing;
constexpr auto dh = strategy_id::double_hashing;

INSTANTIATE_TEST_SUITE_P(
    variants, known_variants,
    testing::Values(
        // 8's third probe is slot 4, the last: its scan has nowhere to go.
        variant_case{"no_wrap_double",
                     variant_id::no_wrap_around,
                     dh,
                     5,
                     {11, 9, 5, 13},
                     {8},
                     {5, 11, 0, 13, 9}},
        variant_case{"repeated_key_stored_two_pass",
                     variant_id::repeated_key_stored,
                     tp,
                     6,
                     {10, 10, 9, 11, 0},
                     {0, 2},
                     {10, 0, 2, 9, 10, 11}},
        // A step of 0 probes the home slot three times, then scans from it.
        variant_case{"step_of_zero",
                     variant_id::step_without_plus_one,
                     dh,
                     7,
                     {3, 10},
                     {},
                     {0, 0, 0, 3, 10, 0, 0}},
        variant_case{"empty_lists", variant_id::no_wrap_around, lp, 4, {}, {}, {0, 0, 0, 0}},
        variant_case{"smallest_size", variant_id::no_wrap_around, lp, 3, {2, 5}, {}, {0, 0, 2}},
        variant_case{"not_for_this_strategy", variant_id::scan_from_home, lp, 7, {3}, {}, {}},
        variant_case{"second_list_two_pass_only_for_two_pass",
                     variant_id::second_list_two_pass,
                     dh,
                     7,
                     {3},
                     {},
                     {}},
        variant_case{"size_two", variant_id::lists_swapped, lp, 2, {}, {}, {}},
        variant_case{"size_one", variant_id::lists_swapped, lp, 1, {}, {}, {}},
        variant_case{"size_zero", variant_id::lists_swapped, lp, 0, {}, {}, {}},
        variant_case{"negative_size", variant_id::lists_swapped, lp, -7, {}, {}, {}},
        variant_case{"size_above_the_limit", variant_id::lists_swapped, lp, 100001, {1}, {}, {}},
        variant_case{"negative_key", variant_id::no_wrap_around, lp, 7, {3}, {-4}, {}}),
    [](const testing::TestParamInfo<variant_case>& info) { return info.param.name; });

TEST(build_variant, largest_size_gives_every_slot) {
  const key_list layout =
      build_variant(variant_id::no_wrap_around, lp, largest_variant_table, {99999, 199999}, {});
  ASSERT_EQ(layout.size(), 100000U);
  EXPECT_EQ(layout[99999], 99999);
  EXPECT_EQ(std::count(layout.begin(), layout.end(), 0), 99999);
}

// Every slot but 0 filled, then 100,000 keys with odd homes and even steps: their probes never
// reach slot 0, and each would go round up to 50,000 slots before it is dropped.
TEST(build_variant, continued_probing_gives_up_past_its_budget) {
  key_list first(99999);
  for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<key>(i + 1);
  key_list second;
  for (key j = 0; second.size() < 100000; ++j) {
    const key k = 100000 * (j / 50000 + 1) + 1 + 2 * (j % 50000);
    if (k % 99998 % 2 == 1) second.push_back(k);  // step k mod 99998 + 1 is even
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(
      build_variant(variant_id::double_probing_continues, dh, 100000, first, second).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// One home slot for 100,000 keys: the literal scans would take seconds.
TEST(build_variant, clustered_keys_take_little_time) {
  key_list keys(100000);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = static_cast<key>(100000 * (i % 21474 + 1));
  }
  const auto start = std::chrono::steady_clock::now();
  for (const variant_id id : all_variants) {
    for (const strategy_id s : all_strategies) {
      if (!variant_applies(id, s)) continue;
      EXPECT_EQ(build_variant(id, s, 100000, keys, keys).size(), 100000U) << variant_key(id);
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// ---- Key order ----

TEST(order_keys, skips_zeros_and_repeats_in_insertion_order) {
  const key_order order = order_keys({7, 0, 3, 7, 12}, {3, 5, 0, 5, 1});
  EXPECT_EQ(order.distinct, (key_list{1, 3, 5, 7, 12}));
  EXPECT_EQ(order.first_ranks, (std::vector<std::uint32_t>{3, 1, 4}));
  EXPECT_EQ(order.second_ranks, (std::vector<std::uint32_t>{2, 0}));
  EXPECT_EQ(order.first_position, (std::vector<std::uint32_t>{9, 2, 6, 0, 4}));
}

TEST(order_keys, empty_lists_give_no_keys) {
  const key_order order = order_keys({}, {0, 0});
  EXPECT_TRUE(order.distinct.empty());
  EXPECT_TRUE(order.first_ranks.empty());
  EXPECT_TRUE(order.second_ranks.empty());
}

TEST(sort_key_positions, radix_sort_agrees_with_std_sort_and_reuses_buffers) {
  std::mt19937 rng(3);
  // Large enough for the radix passes, with repeats and keys above 2^31 as unsigned values.
  key_list keys = draw_keys(rng, 20000, 5000);
  keys[17] = -1;
  keys[18] = 2147483647;
  std::vector<std::uint64_t> expected;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] != 0) {
      expected.push_back(std::uint64_t{static_cast<std::uint32_t>(keys[i])} << 32 | i);
    }
  }
  std::sort(expected.begin(), expected.end());
  std::vector<std::uint64_t> pairs{1, 2, 3};  // left over from an earlier sort
  std::vector<std::uint64_t> spare;
  sort_key_positions(keys, pairs, spare);
  EXPECT_EQ(pairs, expected);
  sort_key_positions({0, 5, 0, 2}, pairs, spare);
  EXPECT_EQ(pairs,
            (std::vector<std::uint64_t>{std::uint64_t{2} << 32 | 3, std::uint64_t{5} << 32 | 1}));
}

TEST(rank_of, finds_only_the_case_keys) {
  const key_order order = order_keys({9, 4}, {2147483647});
  EXPECT_EQ(rank_of(order, 4), 0);
  EXPECT_EQ(rank_of(order, 2147483647), 2);
  EXPECT_EQ(rank_of(order, 5), -1);
  EXPECT_EQ(rank_of(order, -4), -1);
  EXPECT_EQ(rank_of(order, 0), -1);
}

}  // namespace
