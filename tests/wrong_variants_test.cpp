// The mistaken builders against literal probe-by-probe versions of each mistake, plus the key
// ordering they share with the diagnosis.
#include "hashing/wrong_variants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "checker/results.h"
#include "reference/reference_builders.h"
#include "tests/literal_variants.h"
#include "tests/single_calls.h"

namespace {

// ---- The catalogue against the documents that list it ----

std::string read_text(const std::string& relative) {
  std::ifstream in(std::string(SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text after `start` up to `end`, or "" when `start` is missing.
std::string between(const std::string& text, std::string_view start, std::string_view end,
                    std::size_t from = 0) {
  const std::size_t begin = text.find(start, from);
  if (begin == std::string::npos) return "";
  const std::size_t after = begin + start.size();
  return text.substr(after, text.find(end, after) - after);
}

// The words of `text` between `open` and `close` that read as ids: lower case and '_'.
std::set<std::string> ids_in(const std::string& text, char open, char close) {
  std::set<std::string> ids;
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
    const std::size_t end = text.find(close, at + 1);
    if (end == std::string::npos) break;
    const std::string word = text.substr(at + 1, end - at - 1);
    if (!word.empty() &&
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyz_0123456789") == std::string::npos) {
      ids.insert(word);
    }
    at = end;
  }
  return ids;
}

// Every enum the schema gives a "mistake" member, each as one set.
std::vector<std::set<std::string>> schema_enums(const std::string& schema) {
  std::vector<std::set<std::string>> enums;
  for (std::size_t at = schema.find("\"mistake\": {"); at != std::string::npos;
       at = schema.find("\"mistake\": {", at + 1)) {
    enums.push_back(ids_in(between(schema, "\"enum\": [", "]", at), '"', '"'));
  }
  return enums;
}

// The words set in bold on a line of their own (".B word"), as a manual page lists terms.
std::set<std::string> bold_lines(const std::string& section) {
  std::set<std::string> words;
  std::istringstream lines(section);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(".B ")) words.insert(line.substr(3));
  }
  return words;
}

struct listing {
  std::string name;
  std::function<std::vector<std::set<std::string>>()> lists;
};

TEST(mistake_catalogue, every_document_lists_exactly_its_mistakes) {
  std::set<std::string> catalogue;
  for (const mistake_entry& entry : mistake_catalogue) catalogue.emplace(entry.key);
  const std::vector<listing> listings{
      {"docs/report.schema.json",
       [] { return schema_enums(read_text("docs/report.schema.json")); }},
      {"docs/class.schema.json", [] { return schema_enums(read_text("docs/class.schema.json")); }},
      {"README.md",
       [] {
         const std::string readme = read_text("README.md");
         return std::vector{ids_in(between(readme, "5. The named mistake", "\n6. "), '`', '`')};
       }},
      {"docs/hash_checker.1",
       [] {
         const std::string manual = read_text("docs/hash_checker.1");
         return std::vector{bold_lines(between(manual, ".SH MISTAKES", "\n.SH "))};
       }},
  };
  for (const listing& doc : listings) {
    const std::vector<std::set<std::string>> lists = doc.lists();
    EXPECT_FALSE(lists.empty()) << doc.name;
    for (const std::set<std::string>& ids : lists) {
      EXPECT_EQ(ids, catalogue) << doc.name;
    }
  }
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
    for (const wrong_build id : all_wrong_builds) {
      for (const strategy_id s : all_strategies) {
        if (!variant_applies(id, s)) continue;
        ASSERT_EQ(build_variant(id, s, m, first, second), literal_variant(id, s, m, first, second))
            << mistake_key(id.mistake) << " " << strategy_key(s) << " m=" << m << " round "
            << round;
      }
    }
  }
}

// A table never emptied between strategies, probe by probe: each strategy goes on in the table
// the one before it filled, a key finding itself where it lies or a free slot first.
TEST(kept_table_layouts, match_the_literal_table_kept_on_random_small_tables) {
  std::mt19937 rng(9);
  for (int round = 0; round < 3000; ++round) {
    const auto m = std::uniform_int_distribution<std::int32_t>(3, 13)(rng);
    const key_list first =
        draw_keys(rng, rng() % (std::size_t{2} * static_cast<std::size_t>(m)), 3 * m);
    const key_list second = draw_keys(rng, rng() % m, 3 * m);
    const std::array<key_list, strategy_count> kept = kept_table_layouts(
        literal_correct(strategy_id::linear_probing, m, first, second), first, second);
    for (const strategy_id s : all_strategies) {
      ASSERT_EQ(kept[strategy_index(s)],
                literal_build(s, m, first, second, literal_rules{.table_kept = true}))
          << strategy_key(s) << " m=" << m << " round " << round;
    }
  }
}

// Every combination of the rules a build can change, each applied to every strategy, against the
// literal builder following the same rules.
TEST(build_by_rules, matches_the_literal_builder_over_every_rule_combination) {
  std::vector<std::pair<build_rules, literal_rules>> combinations;
  for (int bits = 0; bits < 1536; ++bits) {
    for (const int probes : {2, 3, 4}) {
      for (const step_rule step :
           {step_rule::plus_one, step_rule::no_plus_one, step_rule::modulo_m_minus_1,
            step_rule::prime_below_m, step_rule::modulo_m_plus_one}) {
        const build_rules rules{.wrap = (bits & 1) == 0,
                                .absorb_repeats = (bits & 2) == 0,
                                .second_two_pass = (bits & 4) != 0,
                                .step = step,
                                .probes = probes,
                                .scan_from_home = (bits & 8) != 0,
                                .keep_probing = (bits & 16) != 0,
                                .first_probe = (bits >> 5) & 1,
                                .wrap_to = (bits >> 6) & 1,
                                .scan_cut = (bits >> 7) & 1,
                                .scan_stride = 1 + ((bits >> 8) & 1),
                                .overwrite = static_cast<overwrite_rule>(bits >> 9)};
        const literal_rules literal{.wrap = rules.wrap,
                                    .free_if_same_key = rules.absorb_repeats,
                                    .second_two_pass = rules.second_two_pass,
                                    .step_form = static_cast<int>(step),
                                    .probes = probes,
                                    .scan_from_home = rules.scan_from_home,
                                    .keep_probing = rules.keep_probing,
                                    .first_probe = rules.first_probe,
                                    .wrap_to = rules.wrap_to,
                                    .scan_cut = rules.scan_cut,
                                    .scan_stride = rules.scan_stride,
                                    .overwrite = bits >> 9};
        combinations.emplace_back(rules, literal);
      }
    }
  }
  std::mt19937 rng(23);
  for (int round = 0; round < 12; ++round) {
    const auto m = std::uniform_int_distribution<std::int32_t>(3, 11)(rng);
    const key_list first =
        draw_keys(rng, rng() % (std::size_t{2} * static_cast<std::size_t>(m)), 3 * m);
    const key_list second = draw_keys(rng, rng() % m, 3 * m);
    const key_order order = order_keys(first, second);
    for (const auto& [rules, literal] : combinations) {
      for (const strategy_id s : all_strategies) {
        ASSERT_EQ(build_by_rules(rules, s, m, first, second, order),
                  literal_build(s, m, first, second, literal))
            << strategy_key(s) << " m=" << m << " keys " << testing::PrintToString(first) << " "
            << testing::PrintToString(second) << " second two-pass " << rules.second_two_pass
            << " wrap " << rules.wrap << " repeats " << rules.absorb_repeats << " step "
            << static_cast<int>(rules.step) << " probes " << rules.probes << " from home "
            << rules.scan_from_home << " keep " << rules.keep_probing << " first "
            << rules.first_probe << " wrap to " << rules.wrap_to << " cut " << rules.scan_cut
            << " stride " << rules.scan_stride << " overwrite "
            << static_cast<int>(rules.overwrite);
      }
    }
  }
}

// The count of tries to a slot, worked out in closed form, against the sequence tried in order.
TEST(probe_model, tries_to_each_slot_agree_with_the_sequence) {
  for (std::int64_t m = 1; m <= 12; ++m) {
    for (int bits = 0; bits < 8; ++bits) {
      for (const int probes : {1, 2, 3, 4}) {
        const probe_rules rules{.probes = probes,
                                .first_probe = bits & 1,
                                .step = static_cast<step_rule>(bits % 4),
                                .wrap = (bits & 4) == 0,
                                .wrap_to = (bits >> 1) & 1,
                                .scan_cut = bits % 3,
                                .scan_stride = 1 + probes % 2,
                                .scan_from_home = bits == 3,
                                .keep_probing = bits == 7};
        for (key k = 0; k < 4 * m; ++k) {
          std::vector<std::int64_t> first_try(static_cast<std::size_t>(m), -1);
          const std::int64_t count = probe_count(rules, m, k);
          for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t slot = probe_slot(rules, m, k, i);
            ASSERT_TRUE(slot >= 0 && slot < m) << "m=" << m << " k=" << k << " try " << i;
            auto& first = first_try[static_cast<std::size_t>(slot)];
            if (first < 0) first = i + 1;
          }
          ASSERT_EQ(probe_slot(rules, m, k, count), -1) << "m=" << m << " k=" << k;
          for (std::int64_t slot = 0; slot < m; ++slot) {
            ASSERT_EQ(tries_to(rules, m, k, slot), first_try[static_cast<std::size_t>(slot)])
                << "m=" << m << " k=" << k << " slot " << slot << " bits " << bits << " probes "
                << probes;
          }
        }
      }
    }
  }
}

// ---- Known cases, worked by hand; the diagnosis tests name every mistake on its own case ----

struct variant_case {
  std::string name;
  wrong_build id;
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
                     wrong_build{mistake_id::no_wrap_around},
                     dh,
                     5,
                     {11, 9, 5, 13},
                     {8},
                     {5, 11, 0, 13, 9}},
        variant_case{"repeated_key_stored_two_pass",
                     wrong_build{mistake_id::repeated_key_stored},
                     tp,
                     6,
                     {10, 10, 9, 11, 0},
                     {0, 2},
                     {10, 0, 2, 9, 10, 11}},
        // A step of 0 probes the home slot three times, then scans from it.
        variant_case{"step_of_zero",
                     wrong_build{mistake_id::step_without_plus_one},
                     dh,
                     7,
                     {3, 10},
                     {},
                     {0, 0, 0, 3, 10, 0, 0}},
        variant_case{
            "empty_lists", wrong_build{mistake_id::no_wrap_around}, lp, 4, {}, {}, {0, 0, 0, 0}},
        variant_case{
            "smallest_size", wrong_build{mistake_id::no_wrap_around}, lp, 3, {2, 5}, {}, {0, 0, 2}},
        variant_case{
            "not_for_this_strategy", wrong_build{mistake_id::scan_from_home}, lp, 7, {3}, {}, {}},
        variant_case{"second_list_two_pass_only_for_two_pass",
                     wrong_build{mistake_id::second_list_two_pass},
                     dh,
                     7,
                     {3},
                     {},
                     {}},
        variant_case{"size_two", wrong_build{mistake_id::lists_swapped}, lp, 2, {}, {}, {}},
        variant_case{"size_one", wrong_build{mistake_id::lists_swapped}, lp, 1, {}, {}, {}},
        variant_case{"size_zero", wrong_build{mistake_id::lists_swapped}, lp, 0, {}, {}, {}},
        variant_case{"negative_size", wrong_build{mistake_id::lists_swapped}, lp, -7, {}, {}, {}},
        variant_case{"size_above_the_limit",
                     wrong_build{mistake_id::lists_swapped},
                     lp,
                     100001,
                     {1},
                     {},
                     {}},
        variant_case{
            "negative_key", wrong_build{mistake_id::no_wrap_around}, lp, 7, {3}, {-4}, {}}),
    [](const testing::TestParamInfo<variant_case>& info) { return info.param.name; });

TEST(build_variant, largest_size_gives_every_slot) {
  const key_list layout = build_variant(wrong_build{mistake_id::no_wrap_around}, lp,
                                        largest_variant_table, {99999, 199999}, {});
  ASSERT_EQ(layout.size(), 100000U);
  EXPECT_EQ(layout[99999], 99999);
  EXPECT_EQ(std::count(layout.begin(), layout.end(), 0), 99999);
}

// Every slot but 0 filled, then 100,000 keys with odd homes and even steps: their probes never
// reach slot 0, and each would go round up to 50,000 slots before it is dropped. Without the budget
// this runs for many minutes; how fast it is belongs to bench/, not to a clock read in a test.
TEST(build_variant, continued_probing_gives_up_past_its_budget) {
  key_list first(99999);
  for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<key>(i + 1);
  key_list second;
  for (key j = 0; second.size() < 100000; ++j) {
    const key k = 100000 * (j / 50000 + 1) + 1 + 2 * (j % 50000);
    if (k % 99998 % 2 == 1) second.push_back(k);  // step k mod 99998 + 1 is even
  }
  EXPECT_TRUE(
      build_variant(wrong_build{mistake_id::double_probing_continues}, dh, 100000, first, second)
          .empty());
}

// One home slot for 100,000 keys: the literal scans would take seconds.
TEST(build_variant, clustered_keys_take_little_time) {
  key_list keys(100000);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = static_cast<key>(100000 * (i % 21474 + 1));
  }
  for (const wrong_build id : all_wrong_builds) {
    for (const strategy_id s : all_strategies) {
      if (!variant_applies(id, s)) continue;
      EXPECT_EQ(build_variant(id, s, 100000, keys, keys).size(), 100000U)
          << mistake_key(id.mistake);
    }
  }
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

// The sort's first pass splits by the key's top digit and sorts each bucket apart: lists whose
// keys fill few buckets, one bucket, or leave no bits below the top digit, and buckets small
// and large, must all come out as std::sort orders them.
TEST(sort_key_positions, agrees_with_std_sort_whatever_the_buckets) {
  std::mt19937 rng(5);
  const struct {
    const char* name;
    std::size_t count;
    std::uint32_t base;
    std::uint32_t spread;  // keys are base + a draw below spread
  } shapes[] = {
      {"keys below the top digit's width", 10000, 1, 2000},
      {"every key in one bucket", 200000, 1U << 30, 1U << 19},
      {"a few buckets", 50000, 1U << 20, 1U << 22},
      {"thirty-one bits", 300000, 1, 2147483646},
      {"thirty-two bits, many repeats", 20000, 4294967000U, 200},
  };
  std::vector<std::uint64_t> pairs;
  std::vector<std::uint64_t> spare;
  for (const auto& shape : shapes) {
    key_list keys(shape.count);
    std::vector<std::uint64_t> expected;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      keys[i] = static_cast<key>(shape.base + static_cast<std::uint32_t>(rng() % shape.spread));
      if (i % 97 == 0) keys[i] = 0;
      if (keys[i] != 0) {
        expected.push_back(std::uint64_t{static_cast<std::uint32_t>(keys[i])} << 32 | i);
      }
    }
    std::sort(expected.begin(), expected.end());
    sort_key_positions(keys, pairs, spare);
    EXPECT_EQ(pairs, expected) << shape.name;
  }
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
