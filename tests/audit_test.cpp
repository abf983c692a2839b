// The audit's verdicts against the literal mistaken builders on random inputs, and the sizes at
// which a mistake can't show.
#include "checker/audit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "checker/input_generator.h"
#include "hashing/thread_start.h"
#include "render/audit_console.h"
#include "tests/literal_variants.h"
#include "tests/written_text.h"

namespace {

key_list draw_keys(std::mt19937& rng, std::size_t count, key high) {
  key_list keys(count);
  for (key& k : keys) k = std::uniform_int_distribution<key>(0, high)(rng);
  return keys;
}

// Sizes 0 and 2 take no key, so they come without keys.
case_result random_case(std::mt19937& rng, std::int64_t number) {
  constexpr std::int32_t sizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 13};
  const std::int32_t m = sizes[rng() % std::size(sizes)];
  if (m == 0 || m == 2) return make_case(number, m, {}, {});
  const auto span = static_cast<std::size_t>(m);
  const key high = 3 * m;
  return make_case(number, m, draw_keys(rng, rng() % (2 * span), high),
                   draw_keys(rng, rng() % span, high));
}

// The builds a verdict is checked against: the literal ones, or for large tables the fast ones.
struct builders {
  key_list (*correct)(strategy_id, std::int32_t, const key_list&, const key_list&);
  key_list (*variant)(wrong_build, strategy_id, std::int32_t, const key_list&, const key_list&);
};

key_list fast_correct(strategy_id s, std::int32_t m, const key_list& first,
                      const key_list& second) {
  const layouts built = build_layouts(m, first, second);
  return layout_of(built, s);
}

key_list fast_variant(wrong_build id, strategy_id s, std::int32_t m, const key_list& first,
                      const key_list& second) {
  return build_variant_any_size(id, s, m, first, second, order_keys(first, second));
}

constexpr builders literal_builds{literal_correct, literal_variant};
constexpr builders fast_builds{fast_correct, fast_variant};

using case_layouts = std::vector<std::array<key_list, 3>>;

// Every case's correct layouts, by the builds given.
case_layouts correct_layouts(const std::vector<case_result>& cases, const builders& build) {
  case_layouts all(cases.size());
  for (std::size_t c = 0; c < cases.size(); ++c) {
    const case_result& r = cases[c];
    for (std::size_t i = 0; i < all_strategies.size(); ++i) {
      all[c][i] = build.correct(all_strategies[i], static_cast<std::int32_t>(r.table_size),
                                r.first_keys, r.second_keys);
    }
  }
  return all;
}

// The first output line on which the builds tell the mistake apart, or 0.
std::int64_t literal_first_line(mistake_id mistake, wrong_build reading, strategy_id s,
                                const std::vector<case_result>& cases,
                                const case_layouts& correct_of, const builders& build) {
  const auto index = static_cast<std::int64_t>(
      std::find(all_strategies.begin(), all_strategies.end(), s) - all_strategies.begin());
  const auto layout = [&](std::size_t c, std::int64_t i) -> const key_list& {
    return correct_of[c][static_cast<std::size_t>(i)];
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    const case_result& r = cases[c];
    const auto m = static_cast<std::int32_t>(r.table_size);
    const key_list& correct = layout(c, index);
    bool caught = false;
    if (mistake == mistake_id::wrong_strategy) {
      caught = correct != layout(c, (index + 1) % 3) && correct != layout(c, (index + 2) % 3);
    } else if (mistake == mistake_id::line_shifted) {
      const bool above =
          index > 0 ? correct != layout(c, index - 1) : c == 0 || correct != layout(c - 1, 2);
      const bool below = index < 2 ? correct != layout(c, index + 1)
                                   : c + 1 == cases.size() || correct != layout(c + 1, 0);
      caught = above && below;
    } else if (mistake == mistake_id::lists_swapped) {
      caught = correct != build.correct(s, m, r.second_keys, r.first_keys);
    } else if (mistake == mistake_id::table_not_reset) {
      caught = m >= 3 && correct != literal_build(s, m, r.first_keys, r.second_keys,
                                                  literal_rules{.table_kept = true});
    } else if (m >= 3) {
      caught = correct != build.variant(reading, s, m, r.first_keys, r.second_keys);
    }
    if (caught) return static_cast<std::int64_t>(c) * 3 + index + 1;
  }
  return 0;
}

// Every verdict of `result` is the one the builds give, on the line they first give it.
void expect_verdicts_of_builds(const audit_result& result, const std::vector<case_result>& cases,
                               const builders& build, const std::string& label) {
  const case_layouts correct_of = correct_layouts(cases, build);
  for (const audit_verdict& v : result.verdicts) {
    std::vector<wrong_build> readings = readings_of(v.mistake);
    if (readings.empty()) readings.push_back(wrong_build{mistake_id::lists_swapped});
    // Caught once every reading is, on the line of the reading caught last.
    std::int64_t line = 0;
    for (const wrong_build reading : readings) {
      const std::int64_t first =
          literal_first_line(v.mistake, reading, v.strategy, cases, correct_of, build);
      if (first == 0) {
        line = 0;
        break;
      }
      line = std::max(line, first);
    }
    SCOPED_TRACE(std::string(mistake_key(v.mistake)) + " on " +
                 std::string(strategy_key(v.strategy)) + ", " + label);
    ASSERT_EQ(v.caught, line != 0);
    ASSERT_EQ(v.output_line.value_or(0), line);
    ASSERT_EQ(v.case_number.value_or(-1), line == 0 ? -1 : (line - 1) / 3);
    ASSERT_TRUE(v.decided);
    if (v.caught) {
      ASSERT_TRUE(v.revealable);
    }
  }
}

TEST(audit, verdicts_match_the_literal_builders_on_random_inputs) {
  std::mt19937 rng(21);
  for (int seed = 0; seed < 400; ++seed) {
    std::vector<case_result> cases;
    const auto count = 1 + rng() % 4;
    for (std::size_t c = 0; c < count; ++c) {
      cases.push_back(random_case(rng, static_cast<std::int64_t>(c)));
    }
    const audit_result result = audit_cases(cases);
    expect_verdicts_of_builds(result, cases, literal_builds, "seed " + std::to_string(seed));
    if (testing::Test::HasFatalFailure()) return;
  }
}

// ---- Large tables, judged one table at a time ----

// `count` keys from 1 to `high` whose homes in `m` slots fall in the first `window` slots, one
// in `repeat_every` an earlier key again.
key_list homed_keys(std::mt19937& rng, std::size_t count, std::int32_t m, std::int32_t window,
                    std::size_t repeat_every) {
  key_list keys;
  for (std::size_t i = 0; i < count; ++i) {
    if (!keys.empty() && rng() % repeat_every == 0) {
      keys.push_back(keys[rng() % keys.size()]);
      continue;
    }
    const auto home = static_cast<key>(rng() % static_cast<std::uint32_t>(window));
    keys.push_back(home + m * static_cast<key>(1 + rng() % 1000));
  }
  return keys;
}

// Large cases share the helper threads and the one list their layouts are built into: cases of
// other sizes between them, and cases whose last and first lines are the same across the
// boundary (so neither is shifted there), must judge as the fast builds do, with threads and
// without (as when none can be started). The first two cases: the double-hashing line of the
// first is the linear-probing line of the second, and no other line of the first.
TEST(audit, large_cases_judge_as_the_builds_do_with_threads_or_without) {
  std::mt19937 rng(5);
  constexpr std::int32_t m = 65537;
  key_list apart(20000);
  for (std::size_t i = 0; i < apart.size(); ++i) apart[i] = static_cast<key>(3 * i + 1);
  const std::vector<case_result> cases{
      make_case(0, 7, {1, 36}, {2}),
      make_case(1, 7, {1, 2, 36}, {}),
      make_case(2, m, homed_keys(rng, 30000, m, m, 8), homed_keys(rng, 15000, m, m, 8)),
      make_case(3, m, apart, {}),
      make_case(4, m, apart, {}),
      make_case(5, m, homed_keys(rng, 20000, m, 600, 50), homed_keys(rng, 20000, m, m, 50)),
      make_case(6, m + 2, homed_keys(rng, 40000, m + 2, m + 2, 1000), apart),
  };
  const audit_result threaded = audit_cases(cases, true);
  const audit_result inline_only = audit_cases(cases, false);
  thread_starts_left = 1;  // one helper thread, then every start fails
  const audit_result starts_failing = audit_cases(cases, true);
  thread_starts_left = -1;
  expect_verdicts_of_builds(threaded, cases, fast_builds, "with threads");
  expect_verdicts_of_builds(inline_only, cases, fast_builds, "without threads");
  expect_verdicts_of_builds(starts_failing, cases, fast_builds, "with failing thread starts");
  ASSERT_EQ(threaded.cases.size(), cases.size());
  for (std::size_t c = 0; c < cases.size(); ++c) {
    const case_facts& facts = threaded.cases[c];
    const key_list linear = layout_of(cases[c].expected, strategy_id::linear_probing);
    EXPECT_EQ(facts.stored_keys,
              std::count_if(linear.begin(), linear.end(), [](key k) { return k != 0; }))
        << "case " << c;
  }
}

// A continued-probing build that runs out of its probe budget without parting from the correct
// layout decides nothing: the verdict is not decided, never caught or missed. Every slot but 0
// is filled, then keys with odd homes and even steps go round without reaching slot 0.
TEST(audit, a_build_past_its_probe_budget_is_not_decided) {
  key_list first(99999);
  for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<key>(i + 1);
  key_list second;
  for (key j = 0; second.size() < 100000; ++j) {
    const key k = 100000 * (j / 50000 + 1) + 1 + 2 * (j % 50000);
    if (k % 99998 % 2 == 1) second.push_back(k);
  }
  const std::vector<case_result> cases{make_case(0, 100000, first, second)};
  const audit_result result = audit_cases(cases);
  const auto continues = std::find_if(
      result.verdicts.begin(), result.verdicts.end(),
      [](const audit_verdict& v) { return v.mistake == mistake_id::double_probing_continues; });
  ASSERT_NE(continues, result.verdicts.end());
  EXPECT_FALSE(continues->caught);
  EXPECT_FALSE(continues->decided);
  EXPECT_EQ(audit_cell(*continues), "not decided");
  EXPECT_EQ(audit_status(result), 1);
}

// Repeated keys are told apart by sorting short lists and by bucketing long ones; both orders of
// the lists, against a set of the keys met so far.
TEST(mark_lists, marks_the_first_place_of_every_key_in_either_order) {
  std::mt19937 rng(3);
  const auto drawn = [&](std::size_t count, std::uint32_t high) {
    key_list keys(count);
    for (key& k : keys) k = static_cast<key>(rng() % (high + 1));
    return keys;
  };
  struct row {
    const char* name;
    key_list first;
    key_list second;
  };
  const row rows[] = {
      {"short lists", drawn(300, 200), drawn(100, 200)},
      {"keys over the whole range", drawn(30000, 2147483646U), drawn(20000, 2147483646U)},
      {"many repeats among large keys", drawn(30000, 2147483646U), drawn(20000, 3000)},
      {"one bucket holding every key", drawn(40000, 5000), drawn(30000, 5000)},
      {"an empty first list", {}, drawn(9000, 100000)},
  };
  for (const row& r : rows) {
    marked_lists in_order;
    marked_lists swapped;
    mark_lists(r.first, r.second, in_order, &swapped);
    for (const marked_lists* marked : {&in_order, &swapped}) {
      const key_list& a = *marked->first_keys;
      const key_list& b = *marked->second_keys;
      std::set<key> met;
      for (std::size_t p = 0; p < a.size() + b.size(); ++p) {
        const key k = p < a.size() ? a[p] : b[p - a.size()];
        const bool fresh = k != 0 && met.insert(k).second;
        ASSERT_EQ((marked->fresh[p / 64] >> (p % 64)) & 1U, fresh ? 1U : 0U)
            << r.name << ", position " << p << (marked == &swapped ? ", swapped" : "");
      }
      EXPECT_EQ(marked->distinct, static_cast<std::int64_t>(met.size())) << r.name;
    }
  }
}

// The audit's own correct builds, into one list reused from size to size, give what the
// builders give, down to the sizes where those give an empty list.
TEST(build_correct_into, gives_the_builders_layouts_into_a_reused_list) {
  std::mt19937 rng(11);
  struct row {
    std::int32_t m;
    key_list first;
    key_list second;
  };
  const row rows[] = {
      {65537, homed_keys(rng, 50000, 65537, 65537, 6), homed_keys(rng, 30000, 65537, 65537, 6)},
      {5, {5, 10, 0, 15, 5}, {20, 1}},
      {65537, homed_keys(rng, 30000, 65537, 900, 20), homed_keys(rng, 40000, 65537, 65537, 2)},
      {1, {4, 9}, {2}},
      {2, {4, 9}, {3}},
      {0, {}, {}},
      {70001, homed_keys(rng, 60000, 70001, 64, 3), {}},
  };
  key_list into;
  for (const row& r : rows) {
    const marked_lists marked = mark_lists(r.first, r.second);
    for (const strategy_id s : all_strategies) {
      ASSERT_TRUE(build_correct_into(s, r.m, marked, into));
      EXPECT_EQ(into, fast_correct(s, r.m, r.first, r.second)) << strategy_key(s) << " at " << r.m;
      EXPECT_EQ(compare_correct(s, r.m, marked, into), variant_outcome::same);
    }
  }
}

// A size said not to reveal a mistake never does on random lists; one said to reveal it does
// on some list, found by a random search.
TEST(audit, revealable_sizes_match_what_random_lists_find) {
  std::mt19937 rng(7);
  for (std::int32_t m = 3; m <= 9; ++m) {
    for (const mistake_id mistake : all_mistakes) {
      for (const wrong_build id : readings_of(mistake)) {
        for (const strategy_id s : all_strategies) {
          if (!variant_applies(id, s)) continue;
          bool found = false;
          for (int round = 0; round < 4000 && !found; ++round) {
            const auto span = static_cast<std::size_t>(m);
            const key_list first = draw_keys(rng, rng() % (2 * span), 8 * m * m);
            const key_list second = draw_keys(rng, rng() % span, 8 * m * m);
            found =
                literal_variant(id, s, m, first, second) != literal_correct(s, m, first, second);
          }
          EXPECT_EQ(variant_revealable(id, s, m), found)
              << mistake_key(id.mistake) << " on " << strategy_key(s) << " at " << m;
        }
      }
    }
  }
}

TEST(audit, sizes_that_reveal_nothing) {
  struct row {
    mistake_id mistake;
    strategy_id strategy;
    std::int64_t table_size;
    bool revealable;
  };
  const row rows[] = {
      {mistake_id::lists_swapped, strategy_id::linear_probing, 1, true},
      {mistake_id::lists_swapped, strategy_id::double_hashing, 2, false},
      {mistake_id::no_wrap_around, strategy_id::linear_probing, 1, false},
      {mistake_id::repeated_key_stored, strategy_id::two_pass_hashing, 1, false},
      {mistake_id::step_without_plus_one, strategy_id::double_hashing, 3, false},
      {mistake_id::step_without_plus_one, strategy_id::double_hashing, 4, true},
      {mistake_id::scan_from_home, strategy_id::double_hashing, 5, false},
      {mistake_id::scan_from_home, strategy_id::double_hashing, 6, true},
      {mistake_id::probes_off_by_one, strategy_id::double_hashing, 3, false},
      {mistake_id::wrong_strategy, strategy_id::linear_probing, 3, false},
      {mistake_id::wrong_strategy, strategy_id::two_pass_hashing, 3, true},
      {mistake_id::wrong_strategy, strategy_id::double_hashing, 1, false},
      {mistake_id::line_shifted, strategy_id::linear_probing, 1, false},
      {mistake_id::double_probing_continues, strategy_id::double_hashing, 10000000, true},
  };
  for (const row& r : rows) {
    EXPECT_EQ(audit_revealable(r.mistake, r.strategy, r.table_size), r.revealable)
        << mistake_key(r.mistake) << " on " << strategy_key(r.strategy) << " at " << r.table_size;
  }
}

TEST(audit, status_counts_only_revealable_mistakes) {
  // One case of three slots: the double-hashing mistakes it can't reveal don't count against it,
  // but it holds no second list, so lists_swapped and more are missed.
  const std::vector<case_result> cases{make_case(0, 3, {3, 6, 4}, {})};
  const audit_result result = audit_cases(cases);
  EXPECT_EQ(audit_status(result), 1);
  const auto verdict = [&](mistake_id mistake, strategy_id s) {
    return *std::find_if(
        result.verdicts.begin(), result.verdicts.end(),
        [&](const audit_verdict& v) { return v.mistake == mistake && v.strategy == s; });
  };
  EXPECT_FALSE(verdict(mistake_id::scan_from_home, strategy_id::double_hashing).revealable);
  EXPECT_TRUE(verdict(mistake_id::lists_swapped, strategy_id::linear_probing).revealable);
  EXPECT_FALSE(verdict(mistake_id::lists_swapped, strategy_id::linear_probing).caught);
  ASSERT_EQ(result.cases.size(), 1U);
  EXPECT_EQ(result.cases[0].stored_keys, 3);
  EXPECT_EQ(result.cases[0].longest_run, 3);
}

// An input whose sizes can't reveal every mistake fails, however little it misses: no case at all,
// an empty table of no slot, one slot. The count is of mistakes, over every strategy.
TEST(audit, an_input_that_can_reveal_few_mistakes_fails) {
  struct row {
    std::string name;
    std::vector<case_result> cases;
    std::size_t revealable;
  };
  const row rows[] = {
      {"no case", {}, 0},
      {"an empty table of no slot", {make_case(0, 0, {}, {})}, 0},
      {"one slot", {make_case(0, 1, {5}, {6})}, 1},
  };
  for (const row& r : rows) {
    const audit_result result = audit_cases(r.cases);
    EXPECT_EQ(revealable_mistakes(result), r.revealable) << r.name;
    EXPECT_EQ(audit_status(result), 1) << r.name;
    const std::string printed =
        written([&](text_out& console) { print_audit(console, "in", result); });
    const std::string says = "this input's sizes can reveal " + std::to_string(r.revealable) +
                             " of " + std::to_string(mistake_catalogue.size()) + " mistakes";
    EXPECT_NE(printed.find(says), std::string::npos) << r.name << "\n" << printed;
  }
}

// A mistake with two readings, one caught and one missed, is partly caught, not missed.
TEST(audit, a_mistake_with_one_reading_caught_is_partly_caught) {
  const audit_result result =
      audit_cases(std::vector{make_case(0, 11, {22, 33, 1, 44, 16, 5}, {27})});
  const auto partly =
      std::find_if(result.verdicts.begin(), result.verdicts.end(),
                   [](const audit_verdict& v) { return v.readings_caught > 0 && !v.caught; });
  ASSERT_NE(partly, result.verdicts.end());
  EXPECT_EQ(partly->mistake, mistake_id::probes_off_by_one);
  EXPECT_EQ(audit_cell(*partly), "partly caught: 1 of 2 readings");
}

}  // namespace

namespace {

TEST(generate_input, every_seed_gives_an_input_that_catches_every_mistake) {
  constexpr std::int64_t sizes[] = {7, 11, 13};
  for (std::uint64_t seed = 0; seed < 100; ++seed) {
    const std::int64_t max_size = sizes[seed % 3];
    const generated_input made = generate_input(seed, max_size);
    ASSERT_EQ(made.refusal, "") << "seed " << seed;
    ASSERT_FALSE(made.cases.empty());
    for (const case_result& c : made.cases) {
      ASSERT_LE(c.table_size, max_size);
      for (const key_list* keys : {&c.first_keys, &c.second_keys}) {
        for (const key k : *keys) ASSERT_TRUE(k >= 1 && k <= largest_generated_key) << k;
      }
    }
    const audit_result result = audit_cases(made.cases);
    for (const audit_verdict& v : result.verdicts) {
      ASSERT_TRUE(v.caught) << mistake_key(v.mistake) << " on " << strategy_key(v.strategy)
                            << ", seed " << seed;
    }
  }
  const generated_input once = generate_input(5, 13);
  const generated_input again = generate_input(5, 13);
  ASSERT_EQ(once.cases.size(), again.cases.size());
  for (std::size_t i = 0; i < once.cases.size(); ++i) {
    EXPECT_EQ(once.cases[i].first_keys, again.cases[i].first_keys);
    EXPECT_EQ(once.cases[i].second_keys, again.cases[i].second_keys);
  }
}

TEST(generate_input, refuses_tables_too_small_to_reveal_every_mistake) {
  for (std::int64_t max_size = 1; max_size <= 7; ++max_size) {
    const generated_input made = generate_input(1, max_size);
    EXPECT_EQ(made.refusal.empty(), max_size >= 6) << max_size << ": " << made.refusal;
    if (!made.refusal.empty()) {
      EXPECT_TRUE(made.cases.empty());
    }
  }
}

TEST(large_case_key, each_shape_homes_its_keys_as_asked) {
  constexpr std::int64_t m = 100000;
  for (std::uint64_t i = 0; i < 2000; ++i) {
    const key clustered = large_case_key(large_shape::clustered, 4, m, i);
    const key wrap = large_case_key(large_shape::wrap, 4, m, i);
    ASSERT_TRUE(clustered > 0 && clustered % m < m / 256) << clustered;
    ASSERT_TRUE(wrap > 0 && wrap % m >= m - m / 256) << wrap;
    ASSERT_GT(large_case_key(large_shape::random, 4, m, i), 0);
  }
  std::int64_t repeats = 0;
  for (std::uint64_t i = 0; i < 1000; ++i) {
    const key k = large_case_key(large_shape::repeated, 9, m, i);
    for (std::uint64_t j = 0; j < i; ++j) {
      if (large_case_key(large_shape::repeated, 9, m, j) != k) continue;
      ++repeats;
      break;
    }
  }
  EXPECT_GT(repeats, 50);  // about one in repeated_share of 1000 keys
  EXPECT_LT(repeats, 200);
}

}  // namespace
