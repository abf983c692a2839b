// A misplaced key's insertion step by step, worked by hand: the slots it tries in the correct build
// and under the named mistake, what each slot held then, where the two part and where each settles.
#include "checker/step_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "checker/diagnosis.h"
#include "tests/single_calls.h"

void PrintTo(const walk_step& step, std::ostream* os) {
  *os << step.number << ":" << step.slot << "(" << step.held << ")";
}

namespace {

struct walk_case {
  std::string name;
  std::int32_t table_size;
  key_list first_keys;
  key_list second_keys;
  strategy_id strategy;
  key_list submitted;
  key root;
  std::vector<walk_step> correct;
  std::optional<std::int64_t> correct_settles;
  key_list correct_stood;  // the whole table as it stood
  std::string mistake;
  std::vector<walk_step> wrong;
  std::optional<std::int64_t> wrong_settles;
  std::optional<std::int64_t> parts_at;
  bool cut_short;
};

void PrintTo(const walk_case& c, std::ostream* os) { *os << c.name; }

diagnosis diagnose(const walk_case& c) {
  const layouts built = build_layouts(c.table_size, c.first_keys, c.second_keys);
  diagnosis_input input;
  input.table_size = c.table_size;
  input.first_keys = &c.first_keys;
  input.second_keys = &c.second_keys;
  input.expected = &built;
  input.strategy = c.strategy;
  input.submitted = &c.submitted;
  return diagnose_line(input);
}

class walks : public testing::TestWithParam<walk_case> {};

TEST_P(walks, follow_the_key_in_both_builds) {
  const walk_case& c = GetParam();
  const diagnosis d = diagnose(c);
  ASSERT_EQ(d.first_misplaced_key, c.root);
  ASSERT_TRUE(d.walk.correct);
  const build_walk& right = *d.walk.correct;
  EXPECT_EQ(right.build, "correct");
  EXPECT_EQ(right.steps, c.correct);
  EXPECT_EQ(right.length, static_cast<std::int64_t>(c.correct.size()));
  EXPECT_EQ(right.settles, c.correct_settles);
  EXPECT_EQ(right.stood, (std::vector<table_span>{{0, c.correct_stood}}));
  ASSERT_TRUE(d.mistake);
  ASSERT_EQ(mistake_key(*d.mistake), c.mistake);
  ASSERT_TRUE(d.walk.mistake);
  const build_walk& wrong = *d.walk.mistake;
  EXPECT_EQ(wrong.build, c.mistake);
  EXPECT_EQ(wrong.steps, c.wrong);
  EXPECT_EQ(wrong.settles, c.wrong_settles);
  EXPECT_EQ(wrong.parts_at, c.parts_at);
  EXPECT_EQ(wrong.cut_short, c.cut_short);
}

constexpr auto lp = strategy_id::linear_probing;
constexpr auto tp = strategy_id::two_pass_hashing;
constexpr auto dh = strategy_id::double_hashing;

INSTANTIATE_TEST_SUITE_P(
    by_hand, walks,
    testing::Values(
        // 3 tries 3, 4, 5 and 6, all held, and wraps to slot 0; without the wrap it is dropped.
        walk_case{"linear_no_wrap",
                  7,
                  {10, 17, 4},
                  {24, 3},
                  lp,
                  {0, 0, 0, 10, 17, 4, 24},
                  3,
                  {{1, 3, 10}, {2, 4, 17}, {3, 5, 4}, {4, 6, 24}, {5, 0, 0}},
                  0,
                  {0, 0, 0, 10, 17, 4, 24},
                  "no_wrap_around",
                  {{1, 3, 10}, {2, 4, 17}, {3, 5, 4}, {4, 6, 24}},
                  std::nullopt,
                  5,
                  false},
        // 4 keeps its home slot in the first pass; built as linear probing, 3 and 10 went in
        // before it and hold slots 4 and 5.
        walk_case{"two_pass_as_linear",
                  7,
                  {17, 3, 10, 4},
                  {24},
                  tp,
                  {24, 0, 0, 17, 3, 10, 4},
                  4,
                  {{1, 4, 0}},
                  4,
                  {0, 0, 0, 17, 0, 0, 0},
                  "wrong_strategy",
                  {{1, 4, 3}, {2, 5, 10}},
                  std::nullopt,
                  1,
                  true},
        // The second list in two passes: 4 takes its home slot before 17 scans on from slot 3.
        walk_case{"two_pass_second_list",
                  7,
                  {10},
                  {17, 4},
                  tp,
                  {0, 0, 0, 10, 4, 17, 0},
                  17,
                  {{1, 3, 10}, {2, 4, 0}},
                  4,
                  {0, 0, 0, 10, 0, 0, 0},
                  "second_list_two_pass",
                  {{1, 3, 10}, {2, 4, 4}, {3, 5, 0}},
                  5,
                  2,
                  false},
        // 24 probes 3, 1 and 6 (step 5), then scans on from slot 6, not from its home slot 3.
        walk_case{"double_scan_from_home",
                  7,
                  {3, 17, 1, 24},
                  {},
                  dh,
                  {0, 1, 0, 3, 24, 0, 17},
                  24,
                  {{1, 3, 3}, {2, 1, 1}, {3, 6, 17}, {4, 0, 0}},
                  0,
                  {0, 1, 0, 3, 0, 0, 17},
                  "scan_from_home",
                  {{1, 3, 3}, {2, 1, 1}, {3, 6, 17}, {4, 4, 0}},
                  4,
                  4,
                  false}),
    [](const testing::TestParamInfo<walk_case>& info) { return info.param.name; });

// Above the whole-table size only the slots around each kept step are kept, and a long walk keeps
// its first and last steps.
TEST(walks, large_tables_keep_windows_around_the_kept_steps) {
  constexpr std::int32_t size = 5000;
  key_list first;
  for (key k = 100; k < 160; ++k) first.push_back(k);  // a cluster over slots 100 to 159
  const key root = 5100;                               // home 100, settles in 160
  const key_list second = {root};
  key_list submitted = layout_of(build_layouts(size, first, second), strategy_id::linear_probing);
  submitted[160] = 0;
  submitted[161] = root;
  const layouts built = build_layouts(size, first, second);
  diagnosis_input input;
  input.table_size = size;
  input.first_keys = &first;
  input.second_keys = &second;
  input.expected = &built;
  input.submitted = &submitted;
  const diagnosis d = diagnose_line(input);
  ASSERT_TRUE(d.walk.correct);
  const build_walk& walk = *d.walk.correct;
  EXPECT_EQ(walk.length, 61);
  ASSERT_EQ(walk.steps.size(), 20U);
  EXPECT_EQ(walk.steps[15], (walk_step{16, 115, 115}));
  EXPECT_EQ(walk.steps[16], (walk_step{58, 157, 157}));
  EXPECT_EQ(walk.steps[19], (walk_step{61, 160, 0}));
  ASSERT_EQ(walk.stood.size(), 2U);
  EXPECT_EQ(walk.stood[0].begin, 100 - walk_window_radius);
  EXPECT_EQ(walk.stood[0].keys.size(), 16 + 2 * walk_window_radius);
  EXPECT_EQ(walk.stood[1].begin, 157 - walk_window_radius);
  EXPECT_EQ(walk.stood[1].keys.back(), 0);
  EXPECT_FALSE(d.walk.mistake);
}

// Replaying a key's tries on the table as it stood before it must land it where the whole build
// has it, under every build's rules: a slot once filled keeps its key.
TEST(walks, replayed_tries_land_each_key_where_the_build_has_it) {
  std::mt19937 rng(17);
  std::vector<std::pair<build_rules, bool>> builds = {{build_rules{}, false}};
  for (const wrong_build build : all_wrong_builds) builds.emplace_back(rules_of(build), true);
  for (int round = 0; round < 150; ++round) {
    const auto m = static_cast<std::int32_t>(std::uniform_int_distribution<>(3, 12)(rng));
    key_list lists[2];
    for (key_list& list : lists) {
      const int count = std::uniform_int_distribution<>(0, 9)(rng);
      for (int i = 0; i < count; ++i)
        list.push_back(std::uniform_int_distribution<key>(0, 40)(rng));
    }
    const key_order order = order_keys(lists[0], lists[1]);
    for (std::size_t b = 0; b < all_wrong_builds.size() + 1; ++b) {
      for (const strategy_id strategy : all_strategies) {
        if (b > 0 && !variant_applies(all_wrong_builds[b - 1], strategy)) continue;
        const build_rules& rules = builds[b].first;
        const key_list layout =
            b == 0 ? layout_of(build_layouts(m, lists[0], lists[1]), strategy)
                   : build_variant(all_wrong_builds[b - 1], strategy, m, lists[0], lists[1], order);
        // Where key 0 takes a slot, an empty-looking slot may be taken, and where keys are
        // written over, a slot's key may leave it: no walk is shown there.
        if (layout.empty() || rules.zero_is_key || rules.overwrite != overwrite_rule::none) {
          continue;
        }
        for (const key k : order.distinct) {
          if (!inserts_key(rules, order, lists[0].size(), k)) continue;
          const key_list before = table_before(rules, strategy, m, lists[0], lists[1], order, k);
          ASSERT_EQ(before.size(), layout.size());
          for (std::size_t slot = 0; slot < before.size(); ++slot) {
            if (before[slot] != 0) {
              ASSERT_EQ(before[slot], layout[slot]) << b << " " << k;
            }
          }
          std::int64_t slot = -1;
          for (std::int64_t i = 0; (slot = probe_slot_in(rules, strategy, before, k, i)) >= 0;
               ++i) {
            if (before[static_cast<std::size_t>(slot)] == 0) break;
          }
          if (slot >= 0) {
            EXPECT_EQ(layout[static_cast<std::size_t>(slot)], k) << "build " << b << " key " << k;
          } else {
            EXPECT_EQ(std::count(layout.begin(), layout.end(), k), 0)
                << "build " << b << " key " << k;
          }
        }
      }
    }
  }
}

}  // namespace
