// Explaining wrong lines: the named mistake, the first misplaced key and its path, the unknown,
// missing and repeated keys, and the text shown for --explain.
#include "checker/diagnosis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "render/explain_text.h"
#include "tests/single_calls.h"

// Path steps print as "slot(held)" in failure messages.
void PrintTo(const path_step& step, std::ostream* os) {
  *os << step.slot << "(" << step.held << ")";
}

namespace {

constexpr auto lp = strategy_id::linear_probing;
constexpr auto tp = strategy_id::two_pass_hashing;
constexpr auto dh = strategy_id::double_hashing;

// A case and one submitted line, owning everything the input points at.
struct line_case {
  std::int32_t table_size = 0;
  key_list first_keys;
  key_list second_keys;
  strategy_id strategy = lp;
  key_list submitted;
  std::optional<key_list> line_above;
  std::optional<key_list> line_below;
  std::vector<lenient_token> notes;
};

line_case line(std::int32_t table_size, key_list first_keys, key_list second_keys,
               strategy_id strategy, key_list submitted,
               std::optional<key_list> line_above = std::nullopt,
               std::optional<key_list> line_below = std::nullopt) {
  line_case c;
  c.table_size = table_size;
  c.first_keys = std::move(first_keys);
  c.second_keys = std::move(second_keys);
  c.strategy = strategy;
  c.submitted = std::move(submitted);
  c.line_above = std::move(line_above);
  c.line_below = std::move(line_below);
  return c;
}

// The input for `c`'s line against the case's layouts `built`: its keys, strategy and line
// above, without evidence, notes or a budget for pairs.
diagnosis_input input_for(const line_case& c, const layouts& built) {
  diagnosis_input input;
  input.table_size = c.table_size;
  input.first_keys = &c.first_keys;
  input.second_keys = &c.second_keys;
  input.expected = &built;
  input.strategy = c.strategy;
  input.submitted = &c.submitted;
  if (c.line_above) input.line_above = &*c.line_above;
  return input;
}

diagnosis diagnose(const line_case& c) {
  const layouts built = build_layouts(c.table_size, c.first_keys, c.second_keys);
  diagnosis_input input{c.table_size,
                        &c.first_keys,
                        &c.second_keys,
                        &built,
                        c.strategy,
                        &c.submitted,
                        c.line_above ? &*c.line_above : nullptr,
                        c.line_below ? &*c.line_below : nullptr,
                        c.notes,
                        nullptr};
  return diagnose_line(input);
}

// ---- Every mistake of the catalogue, each on a line that no earlier entry explains ----

struct mistake_case {
  std::string name;
  line_case line;
  std::string mistake;
};

void PrintTo(const mistake_case& c, std::ostream* os) { *os << c.name; }

class named_mistakes : public testing::TestWithParam<mistake_case> {};

TEST_P(named_mistakes, name_exactly_this_mistake) {
  const diagnosis d = diagnose(GetParam().line);
  ASSERT_TRUE(d.mistake.has_value());
  EXPECT_EQ(mistake_key(*d.mistake), GetParam().mistake);
  EXPECT_FALSE(d.mistake_text.empty());
}

INSTANTIATE_TEST_SUITE_P(
    catalogue, named_mistakes,
    testing::Values(
        mistake_case{"wrong_strategy", line(7, {10, 17, 4}, {24, 3}, lp, {3, 0, 0, 10, 4, 17, 24}),
                     "wrong_strategy"},
        mistake_case{
            "line_shifted_above",
            line(5, {5, 10, 15, 20, 25}, {30}, lp, {9, 8, 7, 6, 5}, key_list{9, 8, 7, 6, 5}),
            "line_shifted"},
        mistake_case{
            "line_shifted_below",
            line(5, {5, 10}, {}, dh, {1, 0, 0, 0, 0}, std::nullopt, key_list{1, 0, 0, 0, 0}),
            "line_shifted"},
        // Both another strategy's layout and the line above: the earlier entry wins.
        mistake_case{"wrong_strategy_before_line_shifted",
                     line(7, {10, 17, 4}, {24, 3}, lp, {3, 0, 0, 10, 4, 17, 24},
                          key_list{3, 0, 0, 10, 4, 17, 24}),
                     "wrong_strategy"},
        mistake_case{"lists_swapped", line(5, {3, 3, 6, 10}, {5}, lp, {5, 6, 10, 3, 0}),
                     "lists_swapped"},
        mistake_case{"lists_swapped_double", line(7, {9, 19}, {19, 2}, dh, {9, 0, 2, 0, 0, 19, 0}),
                     "lists_swapped"},
        mistake_case{"no_wrap_around",
                     line(7, {20, 17, 14, 20}, {0, 13}, lp, {14, 0, 0, 17, 0, 0, 20}),
                     "no_wrap_around"},
        mistake_case{"no_wrap_around_two_pass",
                     line(5, {4, 9, 6, 5}, {6, 10}, tp, {5, 6, 10, 0, 4}), "no_wrap_around"},
        mistake_case{"repeated_key_stored",
                     line(7, {20, 12, 15, 12}, {20, 16}, dh, {20, 15, 16, 0, 12, 12, 20}),
                     "repeated_key_stored"},
        mistake_case{"second_list_two_pass",
                     line(9, {11, 4, 21}, {2, 23}, tp, {0, 0, 11, 21, 4, 23, 2, 0, 0}),
                     "second_list_two_pass"},
        mistake_case{"step_without_plus_one",
                     line(7, {20, 17, 10, 16}, {0, 18}, dh, {18, 0, 16, 17, 10, 0, 20}),
                     "step_without_plus_one"},
        mistake_case{"step_modulo_m_minus_1", line(5, {12, 8, 3, 11}, {}, dh, {11, 3, 12, 8, 0}),
                     "step_modulo_m_minus_1"},
        mistake_case{"scan_from_home",
                     line(8, {14, 9, 1, 19, 19}, {0, 5}, dh, {0, 9, 0, 1, 0, 19, 14, 5}),
                     "scan_from_home"},
        mistake_case{"two_probes", line(6, {17, 2}, {14}, dh, {14, 0, 2, 0, 0, 17}),
                     "probes_off_by_one"},
        mistake_case{"four_probes", line(7, {20, 8, 17}, {6, 16}, dh, {0, 8, 16, 17, 0, 6, 20}),
                     "probes_off_by_one"},
        mistake_case{"double_probing_continues",
                     line(6, {11, 7, 9, 13}, {15, 17}, dh, {0, 7, 0, 9, 0, 11}),
                     "double_probing_continues"},
        mistake_case{"wrap_to_slot_one", line(7, {5, 6, 19}, {}, lp, {0, 19, 0, 0, 0, 5, 6}),
                     "wrap_to_slot_one"},
        mistake_case{"scan_cut_short", line(5, {5, 1, 2, 3, 10}, {}, lp, {5, 1, 2, 3, 0}),
                     "scan_cut_short"},
        mistake_case{"probes_from_one", line(7, {3}, {}, dh, {3, 0, 0, 0, 0, 0, 0}),
                     "probes_from_one"},
        mistake_case{"step_prime_below_m", line(7, {7, 28}, {}, dh, {7, 0, 28, 0, 0, 0, 0}),
                     "step_prime_below_m"},
        mistake_case{"second_list_skipped", line(7, {1, 2}, {3}, lp, {0, 1, 2, 0, 0, 0, 0}),
                     "second_list_skipped"},
        mistake_case{"empty_marker", line(5, {6, 11}, {}, lp, {-1, 6, 11, -1, -1}), "empty_marker"},
        // -1 marks the empty slots in the table too, so key 0 is stored as a key.
        mistake_case{"empty_marker_in_the_table", line(5, {0, 5}, {}, lp, {0, 5, -1, -1, -1}),
                     "empty_marker+key_zero_stored"},
        mistake_case{"key_zero_stored", line(5, {0, 5}, {}, lp, {0, 5, 0, 0, 0}),
                     "key_zero_stored"},
        mistake_case{"step_from_home_key", line(7, {7, 21}, {}, dh, {7, 0, 0, 21, 0, 0, 0}),
                     "step_from_home_key"},
        mistake_case{"step_modulo_m", line(7, {9, 16}, {}, dh, {0, 0, 9, 0, 0, 16, 0}),
                     "step_modulo_m"},
        mistake_case{"collided_reversed", line(7, {7, 14, 21}, {}, tp, {7, 21, 14, 0, 0, 0, 0}),
                     "collided_reversed"},
        mistake_case{"scan_by_two", line(7, {7, 14}, {}, lp, {7, 0, 14, 0, 0, 0, 0}),
                     "scan_by_two"},
        // An even size: 12's scan tries only the even slots, both taken, and comes back home.
        mistake_case{"scan_by_two_even_size", line(4, {4, 8, 12}, {}, lp, {4, 0, 8, 0}),
                     "scan_by_two"},
        // 4 goes over 3 in slot 0, the last its scan tried; 3, met again, then goes over 5.
        mistake_case{"overwrite_last_tried", line(3, {3, 7, 5, 4, 3}, {}, lp, {4, 7, 3}),
                     "overwrite_when_full"},
        mistake_case{"overwrite_home", line(3, {3, 7, 5, 4}, {}, tp, {3, 4, 5}),
                     "overwrite_when_full"},
        // Each line below is given by its mistake alone: none of the other builds gives it.
        mistake_case{"collided_after_second",
                     line(7, {7, 14, 2}, {1, 9}, tp, {7, 1, 2, 9, 14, 0, 0}),
                     "collided_after_second"},
        mistake_case{"second_pass_whole_list", line(7, {1, 2}, {}, tp, {0, 1, 2, 1, 2, 0, 0}),
                     "second_pass_whole_list"},
        mistake_case{"lists_two_passes_together",
                     line(7, {7, 14, 2}, {1, 8}, tp, {7, 1, 2, 14, 8, 0, 0}),
                     "lists_two_passes_together"},
        mistake_case{"second_list_new_table", line(7, {1, 2}, {8}, tp, {0, 8, 0, 0, 0, 0, 0}),
                     "second_list_new_table"},
        mistake_case{"repeat_collides_at_home", line(7, {3, 3, 4}, {3}, tp, {0, 0, 0, 3, 4, 3, 0}),
                     "repeat_collides_at_home"},

        // The smallest size variants are tried for: 2 wraps to slot 0 in the correct table.
        mistake_case{"no_wrap_around_size_three", line(3, {5, 2}, {}, lp, {0, 0, 5}),
                     "no_wrap_around"}),
    [](const testing::TestParamInfo<mistake_case>& info) { return info.param.name; });

// ---- Lines no mistake explains ----

struct unexplained_case {
  std::string name;
  line_case line;
};

void PrintTo(const unexplained_case& c, std::ostream* os) { *os << c.name; }

class unexplained_lines : public testing::TestWithParam<unexplained_case> {};

TEST_P(unexplained_lines, name_no_mistake) {
  const diagnosis d = diagnose(GetParam().line);
  EXPECT_FALSE(d.mistake.has_value()) << mistake_key(*d.mistake);
  EXPECT_TRUE(d.reproducing.empty());
  // A Wrong line is unexplained, and says so; a Right one is not looked at.
  EXPECT_EQ(d.searched, d.differing_slots > 0);
  EXPECT_EQ(d.mistake_text.starts_with("No known mistake gives this line"), d.searched)
      << d.mistake_text;
}

key_list wrapped_key_dropped(std::int32_t m) {
  key_list layout(static_cast<std::size_t>(m), 0);
  layout.back() = m - 1;
  return layout;
}

INSTANTIATE_TEST_SUITE_P(
    outside_the_catalogue, unexplained_lines,
    testing::Values(
        unexplained_case{"right_line", line(7, {10, 17, 4}, {24, 3}, lp, {3, 0, 0, 10, 17, 4, 24})},
        // Double hashing can't be built at size 2, so its empty layout is no other strategy's.
        unexplained_case{"size_two_empty_line", line(2, {3}, {}, lp, {})},
        unexplained_case{"one_zero_too_many", line(5, {5, 10}, {}, lp, {5, 10, 0, 0, 0, 0})},
        // The same mistake as no_wrap_around_size_three, at sizes variants are not tried for.
        unexplained_case{"no_wrap_at_size_two", line(2, {3, 1}, {}, lp, {0, 3})},
        unexplained_case{"no_wrap_above_the_largest_size",
                         line(100001, {100000, 200001}, {}, lp, wrapped_key_dropped(100001))}),
    [](const testing::TestParamInfo<unexplained_case>& info) { return info.param.name; });

TEST(named_mistakes, largest_size_is_still_tried) {
  const diagnosis d = diagnose(line(100000, {99999, 199999}, {}, lp, wrapped_key_dropped(100000)));
  ASSERT_TRUE(d.mistake.has_value());
  EXPECT_EQ(*d.mistake, mistake_id::no_wrap_around);
}

// The submission's evidence decides a name only between two or more mistakes, and is asked for
// only then: asking for it reads the whole submission again.
TEST(named_mistakes, ask_for_evidence_only_between_two_or_more) {
  const key_list other_layout{3, 0, 0, 10, 4, 17, 24};  // double hashing's layout, not linear's
  mistake_evidence shifted_most;
  shifted_most.lines.assign(named_mistake_count, 0);
  shifted_most.lines[named_index(mistake_id::line_shifted)] = 2;
  shifted_most.wrong_lines = 2;
  const struct {
    std::string name;
    line_case line;
    int asked;
    std::optional<std::string> mistake;
  } cases[] = {
      {"one_mistake", line(7, {10, 17, 4}, {24, 3}, lp, other_layout), 0, "wrong_strategy"},
      {"two_mistakes", line(7, {10, 17, 4}, {24, 3}, lp, other_layout, other_layout), 1,
       "line_shifted"},
      {"none", line(7, {10, 17, 4}, {24, 3}, lp, {0, 0, 0, 10, 4, 17, 24}), 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const layouts built = build_layouts(c.line.table_size, c.line.first_keys, c.line.second_keys);
    diagnosis_input input = input_for(c.line, built);
    int asked = 0;
    input.fetch_evidence = [&] {
      ++asked;
      return &shifted_most;
    };
    const diagnosis d = diagnose_line(input);
    EXPECT_EQ(asked, c.asked);
    ASSERT_EQ(d.mistake.has_value(), c.mistake.has_value());
    if (c.mistake) {
      EXPECT_EQ(mistake_key(*d.mistake), *c.mistake);
    }
  }
}

// ---- Two mistakes at once ----

struct pair_case {
  std::string name;
  line_case line;
  std::int64_t budget = pair_slot_budget;  // slots the submission has left for pairs
  std::string mistake;                     // as JSON names it
  bool pairs_searched = false;             // for an unexplained line
};

void PrintTo(const pair_case& c, std::ostream* os) { *os << c.name; }

// The layout a program gives that makes both mistakes, read by `one` and `other`'s first
// readings merged.
key_list made_by(mistake_id one, mistake_id other, std::int32_t m, const key_list& first,
                 const key_list& second, strategy_id strategy) {
  const std::optional<build_rules> rules =
      merged_rules(catalogue_entry(one).readings[0], catalogue_entry(other).readings[0]);
  if (!rules) return {};
  return build_by_rules(*rules, strategy, m, first, second, order_keys(first, second));
}

line_case made_line(mistake_id one, mistake_id other, std::int32_t m, const key_list& first,
                    const key_list& second, strategy_id strategy) {
  return line(m, first, second, strategy, made_by(one, other, m, first, second, strategy));
}

class mistake_pairs : public testing::TestWithParam<pair_case> {};

TEST_P(mistake_pairs, name_the_pair_or_say_why_not) {
  const pair_case& c = GetParam();
  const layouts built = build_layouts(c.line.table_size, c.line.first_keys, c.line.second_keys);
  pair_budget budget{c.budget};
  diagnosis_input input = input_for(c.line, built);
  input.pairs = &budget;
  const diagnosis d = diagnose_line(input);
  ASSERT_GT(d.differing_slots, 0);
  EXPECT_EQ(d.mistake ? mistake_key(*d.mistake) : std::string(unexplained_key), c.mistake)
      << d.mistake_text;
  if (d.mistake) {
    EXPECT_TRUE(d.mistake_text.starts_with("Two mistakes at once: ")) << d.mistake_text;
    return;
  }
  EXPECT_EQ(d.pairs_searched, c.pairs_searched);
  EXPECT_EQ(budget.slots_left < c.budget, c.pairs_searched);
  EXPECT_EQ(d.mistake_text.ends_with("gives this line."), c.pairs_searched) << d.mistake_text;
}

INSTANTIATE_TEST_SUITE_P(
    two_rules, mistake_pairs,
    testing::Values(pair_case{"swapped_without_wrap",
                              made_line(mistake_id::lists_swapped, mistake_id::no_wrap_around, 7,
                                        {6, 13}, {20}, lp),
                              pair_slot_budget, "lists_swapped+no_wrap_around"},
                    pair_case{"step_and_scan",
                              made_line(mistake_id::step_modulo_m, mistake_id::scan_from_home, 11,
                                        {3, 14, 25, 36, 47}, {58, 4}, dh),
                              pair_slot_budget, "scan_from_home+step_modulo_m"},
                    pair_case{"second_list_skipped_and_reversed",
                              made_line(mistake_id::second_list_skipped,
                                        mistake_id::collided_reversed, 7, {7, 14, 21, 2}, {9}, tp),
                              pair_slot_budget, "second_list_skipped+collided_reversed"},
                    pair_case{"no_pair_gives_it",
                              line(7, {6, 13}, {20}, lp, {99, 0, 0, 0, 0, 0, 0}), pair_slot_budget,
                              "unexplained", true},
                    pair_case{"budget_spent",
                              made_line(mistake_id::lists_swapped, mistake_id::no_wrap_around, 7,
                                        {6, 13}, {20}, lp),
                              pair_build_floor, "unexplained", false},
                    pair_case{"table_past_the_pair_bound",
                              made_line(mistake_id::lists_swapped, mistake_id::no_wrap_around,
                                        largest_pair_table + 1,
                                        {largest_pair_table, 2 * largest_pair_table + 1},
                                        {3 * largest_pair_table + 2}, lp),
                              pair_slot_budget, "unexplained", false}),
    [](const testing::TestParamInfo<pair_case>& info) { return info.param.name; });

// A program that makes two mistakes shows one of them alone on lines the other changes nothing
// on: each line is named by what it shows, and the program by the pair, which gives every line.
// A pair that gives no line its mistakes don't give alone is not the program's mistake.
TEST(program_mistakes, a_pair_that_gives_every_line_is_the_programs_mistake) {
  using M = mistake_id;
  const line_case both = made_line(M::lists_swapped, M::no_wrap_around, 7, {6, 13}, {20}, lp);
  const line_case swapped = line(7, {1, 8}, {15}, lp, {0, 15, 1, 8, 0, 0, 0});
  // The step (key mod m) + 1 shows on the double-hashing line alone, where no wrap-around changes
  // nothing: the pair gives both lines, the linear one because no step is taken there.
  const line_case no_wrap = line(7, {20, 17, 14, 20}, {0, 13}, lp, {14, 0, 0, 17, 0, 0, 20});
  const line_case step = line(7, {9, 16}, {}, dh, {0, 0, 9, 0, 0, 16, 0});
  // -1 for an empty slot in the table as well as in print stores key 0 as a key.
  const line_case marked_key_zero = line(5, {0, 5}, {}, lp, {0, 5, -1, -1, -1});
  const line_case marked = line(5, {6, 11}, {}, lp, {-1, 6, 11, -1, -1});
  const line_case unknown = line(7, {6, 13}, {20}, lp, {99, 0, 0, 0, 0, 0, 0});
  const struct {
    std::string name;
    std::vector<const line_case*> lines;
    std::vector<std::string> named;  // each line's name
    std::string likely;              // the first of likely_mistakes
    std::int64_t explains;
    bool program = true;  // whether it is the program's mistake
  } cases[] = {
      {"two_mistakes",
       {&swapped, &both},
       {"lists_swapped", "lists_swapped+no_wrap_around"},
       "lists_swapped+no_wrap_around",
       2},
      {"one_mistake", {&swapped, &swapped}, {"lists_swapped", "lists_swapped"}, "lists_swapped", 2},
      {"one_on_each_strategy",
       {&no_wrap, &step},
       {"no_wrap_around", "step_modulo_m"},
       "no_wrap_around+step_modulo_m",
       2},
      {"marker_in_the_table",
       {&marked, &marked_key_zero},
       {"empty_marker", "empty_marker+key_zero_stored"},
       "empty_marker+key_zero_stored",
       2},
      {"marker_alone", {&marked, &marked}, {"empty_marker", "empty_marker"}, "empty_marker", 2},
      // More lines that no mistake gives than lines the first gives: that one is no finding.
      {"mostly_unexplained",
       {&marked, &unknown, &unknown},
       {"empty_marker", "unexplained", "unexplained"},
       "empty_marker",
       1,
       false},
      {"as_many_unexplained",
       {&marked, &unknown},
       {"empty_marker", "unexplained"},
       "empty_marker",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mistake_evidence evidence;
    std::vector<std::string> named;
    pair_budget budget;
    for (const line_case* l : c.lines) {
      const layouts built = build_layouts(l->table_size, l->first_keys, l->second_keys);
      diagnosis_input input = input_for(*l, built);
      input.pairs = &budget;
      const diagnosis d = diagnose_line(input);
      named.push_back(d.mistake ? mistake_key(*d.mistake) : std::string(unexplained_key));
      count_evidence(d, evidence);
    }
    EXPECT_EQ(named, c.named);
    const std::vector<likely_mistake> likely = likely_mistakes(evidence);
    ASSERT_FALSE(likely.empty());
    EXPECT_EQ(mistake_key(likely.front().mistake), c.likely);
    EXPECT_EQ(likely.front().explains, c.explains);
    submission_shape shape;
    shape.likely = likely;
    shape.wrong_lines = evidence.wrong_lines;
    shape.unexplained_lines = evidence.unexplained;
    EXPECT_EQ(program_mistake(shape).has_value(), c.program);
    if (c.name == "mostly_unexplained") {
      EXPECT_EQ(likely_line(shape),
                "Most likely: unexplained (no known mistake gives 2 of 3 Wrong lines; empty_marker "
                "explains 1)");
    }
    // Where one mistake gives every line, the pairs that hold it are not listed beside it.
    if (c.named.front() == c.likely) {
      EXPECT_EQ(likely.size(), 1U) << mistake_key(likely.back().mistake);
    }
  }
}

// ---- The first difference and the first misplaced key ----

struct root_cause_case {
  std::string name;
  line_case line;
  std::optional<std::int64_t> first_wrong_slot;
  std::int64_t differing_slots;
  std::optional<key> misplaced;
  std::int64_t insertion_number;
  std::optional<std::int64_t> expected_slot;
  std::optional<std::int64_t> submitted_slot;
  std::vector<path_step> path;
  std::int64_t path_length;
};

void PrintTo(const root_cause_case& c, std::ostream* os) { *os << c.name; }

class root_causes : public testing::TestWithParam<root_cause_case> {};

TEST_P(root_causes, name_the_first_key_out_of_place_and_its_path) {
  const root_cause_case& c = GetParam();
  const diagnosis d = diagnose(c.line);
  EXPECT_EQ(d.first_wrong_slot, c.first_wrong_slot);
  EXPECT_EQ(d.differing_slots, c.differing_slots);
  EXPECT_EQ(d.first_misplaced_key, c.misplaced);
  EXPECT_EQ(d.insertion_number, c.insertion_number);
  EXPECT_EQ(d.expected_slot, c.expected_slot);
  EXPECT_EQ(d.submitted_slot, c.submitted_slot);
  EXPECT_EQ(d.path, c.path);
  EXPECT_EQ(d.path_length, c.path_length);
  EXPECT_EQ(d.settles, c.expected_slot);
  if (!c.path.empty()) {
    EXPECT_EQ(d.home, c.path[0].slot);
  }
}

INSTANTIATE_TEST_SUITE_P(
    lines, root_causes,
    testing::Values(
        // 18, inserted second, belongs in slot 9 but was put in slot 1 and pushed 1, 11 and 2
        // along: the first difference, slot 1, is not its slot.
        root_cause_case{"early_key_moves_others",
                        line(10, {8, 18, 1, 11, 2}, {}, lp, {0, 18, 1, 11, 2, 0, 0, 0, 8, 0}),
                        1,
                        5,
                        18,
                        2,
                        9,
                        1,
                        {{8, 8}, {9, 0}},
                        2},
        // Two-pass hashing places 4 (it keeps its home slot) before 17 though 17 comes first.
        root_cause_case{"two_pass_home_slots_go_first",
                        line(7, {10, 17, 4}, {}, tp, {0, 0, 0, 10, 17, 4, 0}),
                        4,
                        2,
                        4,
                        2,
                        4,
                        5,
                        {{4, 0}},
                        1},
        root_cause_case{"double_hash_second_probe",
                        line(7, {10, 17, 4}, {24, 3}, dh, {3, 24, 0, 10, 4, 17, 0}),
                        5,
                        2,
                        17,
                        2,
                        6,
                        5,
                        {{3, 10}, {6, 0}},
                        2},
        // 19's three probes 5, 3 and 1 are taken; the scan goes on from slot 2.
        root_cause_case{"double_hash_scan",
                        line(7, {1, 3, 5, 19}, {}, dh, {0, 1, 0, 3, 0, 5, 19}),
                        2,
                        2,
                        19,
                        4,
                        2,
                        6,
                        {{5, 5}, {3, 3}, {1, 1}, {2, 0}},
                        4},
        // The settling slot ends up holding the key itself, but was empty when it arrived.
        root_cause_case{"missing_key",
                        line(7, {10, 17, 4}, {}, lp, {0, 0, 0, 10, 17, 0, 0}),
                        5,
                        1,
                        4,
                        3,
                        5,
                        std::nullopt,
                        {{4, 17}, {5, 0}},
                        2},
        root_cause_case{"dropped_key_submitted",
                        line(3, {3, 6, 9, 12}, {}, lp, {3, 6, 9, 12}),
                        std::nullopt,
                        1,
                        12,
                        4,
                        std::nullopt,
                        3,
                        {{0, 3}, {1, 6}, {2, 9}},
                        3},
        // A dropped key tries its three probes and the m - 1 slots after the third.
        root_cause_case{"dropped_key_double_hashing",
                        line(3, {3, 6, 9, 12}, {}, dh, {3, 6, 9, 12}),
                        std::nullopt,
                        1,
                        12,
                        4,
                        std::nullopt,
                        3,
                        {{0, 3}, {1, 6}, {2, 9}, {0, 3}, {1, 6}},
                        5},
        root_cause_case{
            "size_one", line(1, {5, 6}, {}, lp, {6}), 0, 1, 5, 1, 0, std::nullopt, {{0, 0}}, 1},
        root_cause_case{"unknown_key_only",
                        line(7, {10}, {}, lp, {0, 99, 0, 10, 0, 0, 0}),
                        1,
                        1,
                        std::nullopt,
                        0,
                        std::nullopt,
                        std::nullopt,
                        {},
                        0}),
    [](const testing::TestParamInfo<root_cause_case>& info) { return info.param.name; });

TEST(root_causes, long_paths_keep_their_first_and_last_steps) {
  key_list first;
  for (key k = 1; k <= 40; ++k) first.push_back(k);
  key_list submitted = layout_of(build_layouts(50, first, {51}), strategy_id::linear_probing);
  std::swap(submitted[41], submitted[45]);
  const diagnosis d = diagnose(line(50, first, {51}, lp, submitted));
  ASSERT_EQ(d.first_misplaced_key, 51);
  EXPECT_EQ(d.path_length, 41);
  ASSERT_EQ(d.path.size(), path_head + path_tail);
  for (std::size_t i = 0; i < path_head; ++i) {
    EXPECT_EQ(d.path[i], (path_step{static_cast<std::int64_t>(i + 1), static_cast<key>(i + 1)}));
  }
  EXPECT_EQ(d.path[16], (path_step{38, 38}));
  EXPECT_EQ(d.path[19], (path_step{41, 0}));
  EXPECT_EQ(d.settles, 41);
}

// ---- Unknown, missing and repeated keys ----

struct key_lists_case {
  std::string name;
  line_case line;
  key_list unknown;
  std::int64_t unknown_count;
  key_list missing;
  std::int64_t missing_count;
  key_list repeated;
  std::int64_t repeated_count;
};

void PrintTo(const key_lists_case& c, std::ostream* os) { *os << c.name; }

class key_lists : public testing::TestWithParam<key_lists_case> {};

TEST_P(key_lists, are_listed_by_first_slot_and_counted) {
  const key_lists_case& c = GetParam();
  const diagnosis d = diagnose(c.line);
  EXPECT_EQ(d.unknown_keys, c.unknown);
  EXPECT_EQ(d.unknown_count, c.unknown_count);
  EXPECT_EQ(d.missing_keys, c.missing);
  EXPECT_EQ(d.missing_count, c.missing_count);
  EXPECT_EQ(d.repeated_keys, c.repeated);
  EXPECT_EQ(d.repeated_count, c.repeated_count);
}

key_list numbered(key from, std::size_t count, std::size_t length) {
  key_list keys(length, 0);
  for (std::size_t i = 0; i < count; ++i) keys[i] = from + static_cast<key>(i);
  return keys;
}

key_list repeated_pairs(std::size_t pairs) {
  key_list keys;
  for (std::size_t i = 0; i < pairs; ++i) keys.insert(keys.end(), 2, static_cast<key>(i + 1));
  return keys;
}

INSTANTIATE_TEST_SUITE_P(
    lines, key_lists,
    testing::Values(
        key_lists_case{"one_of_each",
                       line(7, {10, 17, 4}, {24, 3}, lp, {3, 99, 0, 10, 17, 17, 24}),
                       {99},
                       1,
                       {4},
                       1,
                       {17},
                       1},
        // Listed by slot, not by value; an unknown key can be repeated too.
        key_lists_case{"in_slot_order",
                       line(5, {}, {}, lp, {0, 50, 40, 50, 30}),
                       {50, 40, 30},
                       3,
                       {},
                       0,
                       {50},
                       1},
        key_lists_case{
            "negative_key_is_unknown", line(3, {1}, {}, lp, {0, -4, 0}), {-4}, 1, {1}, 1, {}, 0},
        key_lists_case{"zeros_are_never_repeated",
                       line(5, {1}, {}, lp, {0, 0, 0, 0, 1, 0}),
                       {},
                       0,
                       {},
                       0,
                       {},
                       0},
        // A key the correct table drops is a case key: submitting it is not unknown.
        key_lists_case{
            "dropped_case_key", line(3, {3, 6, 9, 12}, {}, lp, {3, 6, 12}), {}, 0, {9}, 1, {}, 0},
        key_lists_case{"empty_line", line(4, {1, 2}, {}, lp, {}), {}, 0, {1, 2}, 2, {}, 0},
        key_lists_case{"capped_at_twenty",
                       line(30, {}, {}, lp, numbered(100, 25, 30)),
                       numbered(100, 20, 20),
                       25,
                       {},
                       0,
                       {},
                       0},
        key_lists_case{"repeats_capped_at_twenty",
                       line(60, {}, {}, lp, repeated_pairs(30)),
                       numbered(1, 20, 20),
                       30,
                       {},
                       0,
                       numbered(1, 20, 20),
                       30}),
    [](const testing::TestParamInfo<key_lists_case>& info) { return info.param.name; });

// ---- Against a naive replay ----

// The correct build replayed literally, key by key, recording what each probe saw.
struct naive_replay {
  key_list order;                             // keys in insertion order
  std::vector<std::vector<path_step>> paths;  // each key's every probe, in the same order
};

key_list distinct_in_order(const key_list& keys, key_list& seen) {
  key_list fresh;
  for (const key k : keys) {
    if (k == 0 || std::find(seen.begin(), seen.end(), k) != seen.end()) continue;
    seen.push_back(k);
    fresh.push_back(k);
  }
  return fresh;
}

// Probes `slots` in turn, recording each, until one is empty; stores `k` there.
void probe(key_list& table, const std::vector<std::int64_t>& slots, key k,
           std::vector<path_step>& path) {
  for (const std::int64_t slot : slots) {
    path.push_back({slot, table[static_cast<std::size_t>(slot)]});
    if (table[static_cast<std::size_t>(slot)] == 0) {
      table[static_cast<std::size_t>(slot)] = k;
      return;
    }
  }
}

std::vector<std::int64_t> probe_slots(key k, std::int64_t m, strategy_id s, bool first_pass) {
  std::vector<std::int64_t> slots{k % m};
  if (first_pass) return slots;
  if (s == dh) {
    slots.push_back(double_hash_slot(k, 1, m));
    slots.push_back(double_hash_slot(k, 2, m));
  }
  for (std::int64_t i = 1; i < m; ++i) slots.push_back((slots.back() + 1) % m);
  return slots;
}

naive_replay replay(std::int32_t m, const key_list& first, const key_list& second, strategy_id s) {
  key_list seen;
  const key_list first_fresh = distinct_in_order(first, seen);
  const key_list second_fresh = distinct_in_order(second, seen);
  naive_replay r;
  key_list table(static_cast<std::size_t>(m), 0);
  const auto insert = [&](key k, bool first_pass) {
    r.order.push_back(k);
    r.paths.emplace_back();
    probe(table, probe_slots(k, m, s, first_pass), k, r.paths.back());
  };
  if (s == tp) {
    key_list left_over;
    for (const key k : first_fresh) {
      if (table[static_cast<std::size_t>(k % m)] == 0) {
        insert(k, true);
      } else {
        left_over.push_back(k);
      }
    }
    for (const key k : left_over) insert(k, false);
  } else {
    for (const key k : first_fresh) insert(k, false);
  }
  for (const key k : second_fresh) insert(k, false);
  return r;
}

std::optional<std::int64_t> slot_of(const key_list& keys, key k) {
  const auto found = std::find(keys.begin(), keys.end(), k);
  if (found == keys.end()) return std::nullopt;
  return found - keys.begin();
}

std::vector<path_step> kept_steps(const std::vector<path_step>& path) {
  if (path.size() <= path_head + path_tail) return path;
  std::vector<path_step> kept(path.begin(), path.begin() + path_head);
  kept.insert(kept.end(), path.end() - path_tail, path.end());
  return kept;
}

// Keys below 3m: zeros, repeats and full tables come often.
key small_key(std::mt19937& rng, std::int32_t m) {
  return std::uniform_int_distribution<key>(0, 3 * m - 1)(rng);
}

// A wrong line made from the right one: slots swapped, keys replaced, the length changed.
key_list spoil(key_list line, const key_list& case_keys, std::mt19937& rng) {
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  const int changes = 1 + static_cast<int>(rng() % 3);
  for (int i = 0; i < changes && !line.empty(); ++i) {
    switch (rng() % 4) {
      case 0:
        std::swap(line[pick(line.size())], line[pick(line.size())]);
        break;
      case 1:
        line[pick(line.size())] = case_keys.empty() ? 1 : case_keys[pick(case_keys.size())];
        break;
      case 2:
        line[pick(line.size())] = static_cast<key>(rng() % 100);
        break;
      default:
        if (rng() % 2 == 0) {
          line.pop_back();
        } else {
          line.push_back(static_cast<key>(rng() % 4));
        }
    }
  }
  return line;
}

bool holds(const key_list& keys, key k) {
  return std::find(keys.begin(), keys.end(), k) != keys.end();
}

// Each list in the order of the keys' first slots, as the diagnosis lists them.
key_list naive_unknown(const key_list& submitted, const key_list& case_keys) {
  key_list unknown;
  for (const key k : submitted) {
    if (k != 0 && !holds(case_keys, k) && !holds(unknown, k)) unknown.push_back(k);
  }
  return unknown;
}

key_list naive_missing(const key_list& right, const key_list& submitted) {
  key_list missing;
  for (const key k : right) {
    if (k != 0 && !holds(submitted, k)) missing.push_back(k);
  }
  return missing;
}

key_list naive_repeated(const key_list& submitted) {
  key_list repeated;
  for (const key k : submitted) {
    if (k != 0 && std::count(submitted.begin(), submitted.end(), k) > 1 && !holds(repeated, k)) {
      repeated.push_back(k);
    }
  }
  return repeated;
}

TEST(diagnose_line, matches_a_naive_replay_on_random_lines) {
  std::mt19937 rng(17);
  int explained = 0;
  for (int round = 0; round < 3000; ++round) {
    const auto m = static_cast<std::int32_t>(3 + rng() % 10);
    key_list first(rng() % 12);
    key_list second(rng() % 5);
    for (key& k : first) k = small_key(rng, m);
    for (key& k : second) k = small_key(rng, m);
    key_list case_keys = first;
    case_keys.insert(case_keys.end(), second.begin(), second.end());
    const strategy_id s = all_strategies[rng() % 3];
    const key_list right = layout_of(build_layouts(m, first, second), s);
    const key_list submitted = spoil(right, case_keys, rng);
    const diagnosis d = diagnose(line(m, first, second, s, submitted));
    EXPECT_EQ(d.unknown_keys, naive_unknown(submitted, case_keys)) << "round " << round;
    EXPECT_EQ(d.missing_keys, naive_missing(right, submitted)) << "round " << round;
    EXPECT_EQ(d.repeated_keys, naive_repeated(submitted)) << "round " << round;
    const naive_replay r = replay(m, first, second, s);
    ASSERT_EQ(r.paths.size(), r.order.size());
    std::size_t t = 0;
    while (t < r.order.size() && slot_of(right, r.order[t]) == slot_of(submitted, r.order[t])) {
      ++t;
    }
    if (t == r.order.size()) {
      EXPECT_FALSE(d.first_misplaced_key.has_value()) << "round " << round;
      continue;
    }
    ++explained;
    const key k = r.order[t];
    ASSERT_EQ(d.first_misplaced_key, k) << "round " << round;
    EXPECT_EQ(d.insertion_number, static_cast<std::int64_t>(t) + 1);
    EXPECT_EQ(d.expected_slot, slot_of(right, k));
    EXPECT_EQ(d.submitted_slot, slot_of(submitted, k));
    EXPECT_EQ(d.path_length, static_cast<std::int64_t>(r.paths[t].size())) << "round " << round;
    EXPECT_EQ(d.path, kept_steps(r.paths[t])) << "round " << round;
  }
  EXPECT_GT(explained, 1000);
}

// One scratch for every line, and the order made in it, as a caller shares them across a case.
TEST(diagnose_line, shared_order_and_scratch_change_nothing) {
  std::mt19937 rng(23);
  diagnosis_scratch scratch;
  for (int round = 0; round < 500; ++round) {
    const auto m = static_cast<std::int32_t>(3 + rng() % 10);
    key_list first(rng() % 12);
    for (key& k : first) k = small_key(rng, m);
    const key_list second{small_key(rng, m)};
    const layouts built = build_layouts(m, first, second);
    const key_order order = order_keys(first, second, scratch.pairs, scratch.spare);
    for (const strategy_id s : all_strategies) {
      const key_list submitted = spoil(layout_of(built, s), first, rng);
      diagnosis_input input{m,          &first,  &second, &built, s,
                            &submitted, nullptr, nullptr, {},     nullptr};
      const diagnosis own = diagnose_line(input);
      input.order = &order;
      const diagnosis shared = diagnose_line(input, scratch);
      EXPECT_EQ(shared.first_misplaced_key, own.first_misplaced_key) << "round " << round;
      EXPECT_EQ(shared.insertion_number, own.insertion_number);
      EXPECT_EQ(shared.path, own.path);
      EXPECT_EQ(shared.unknown_keys, own.unknown_keys);
      EXPECT_EQ(shared.missing_keys, own.missing_keys);
      EXPECT_EQ(shared.repeated_keys, own.repeated_keys);
      EXPECT_EQ(shared.mistake, own.mistake);
    }
  }
}

// ---- Lengths, right lines and bad input ----

TEST(diagnose_line, right_line_gives_nothing_to_explain) {
  const diagnosis d = diagnose(line(7, {10, 17, 4}, {24, 3}, tp, {3, 0, 0, 10, 4, 17, 24}));
  EXPECT_EQ(d.differing_slots, 0);
  EXPECT_FALSE(d.first_wrong_slot.has_value());
  EXPECT_FALSE(d.first_misplaced_key.has_value());
  EXPECT_FALSE(d.mistake.has_value());
  EXPECT_EQ(explain_lines(d), "");
}

TEST(diagnose_line, lines_differing_only_in_length_have_no_first_wrong_slot) {
  const diagnosis longer = diagnose(line(5, {5, 10}, {}, lp, {5, 10, 0, 0, 0, 0, 0}));
  EXPECT_EQ(longer.slot_count, 7);
  EXPECT_EQ(longer.table_size, 5);
  EXPECT_EQ(longer.differing_slots, 2);
  EXPECT_FALSE(longer.first_wrong_slot.has_value());
  EXPECT_FALSE(longer.expected_key.has_value());
  EXPECT_FALSE(longer.submitted_key.has_value());
  EXPECT_FALSE(longer.first_misplaced_key.has_value());

  // Shorter and wrong inside: both counts add up.
  const diagnosis shorter = diagnose(line(5, {5, 10}, {}, lp, {5, 0}));
  EXPECT_EQ(shorter.first_wrong_slot, 1);
  EXPECT_EQ(shorter.expected_key, 10);
  EXPECT_EQ(shorter.submitted_key, 0);
  EXPECT_EQ(shorter.differing_slots, 4);
}

TEST(diagnose_line, null_pointers_read_as_empty_lists) {
  const diagnosis d = diagnose_line(diagnosis_input{});
  EXPECT_EQ(d.slot_count, 0);
  EXPECT_EQ(d.differing_slots, 0);
  EXPECT_FALSE(d.mistake.has_value());

  const key_list submitted{5, 0};
  diagnosis_input input;
  input.table_size = 3;
  input.submitted = &submitted;
  const diagnosis unbuilt = diagnose_line(input);
  EXPECT_EQ(unbuilt.differing_slots, 2);
  EXPECT_EQ(unbuilt.unknown_count, 0);  // without a built case nothing is analysed
  EXPECT_FALSE(unbuilt.first_misplaced_key.has_value());
}

TEST(diagnose_line, case_not_built_gets_only_lengths) {
  const diagnosis d = diagnose(line(2, {3}, {}, dh, {0, 3}));
  EXPECT_EQ(d.differing_slots, 2);
  EXPECT_FALSE(d.first_misplaced_key.has_value());
  EXPECT_EQ(d.unknown_count, 0);
  EXPECT_FALSE(d.mistake.has_value());
}

TEST(diagnose_line, size_zero_reports_unknown_keys) {
  const diagnosis d = diagnose(line(0, {}, {}, lp, {5}));
  EXPECT_EQ(d.differing_slots, 1);
  EXPECT_EQ(d.unknown_keys, key_list{5});
  EXPECT_FALSE(d.first_misplaced_key.has_value());
}

TEST(diagnose_line, copies_lenient_tokens_with_the_keys_read) {
  line_case c = line(7, {10, 17, 4}, {24, 3}, lp, {3, 0, 0, 10, 17, 4, 4});
  c.notes = {{0, "+3"}, {6, "4x"}, {9, "007"}};
  const diagnosis d = diagnose(c);
  ASSERT_EQ(d.notes.size(), 3U);
  EXPECT_EQ(d.notes[1].index, 6U);
  EXPECT_EQ(d.notes[1].text, "4x");
  EXPECT_EQ(d.notes[1].read_as, 4);
  EXPECT_FALSE(d.notes[2].read_as.has_value());  // index past the line's end
}

// ---- The text for --explain ----

TEST(explain_lines, reads_as_documented) {
  line_case c = line(10, {8, 18, 1, 11, 2}, {99}, lp, {99, 18, 1, 11, 0, 0, 0, 77, 8, 8});
  c.notes = {{1, "18x"}};
  EXPECT_EQ(explain_lines(diagnose(c)),
            "  first difference at slot 1: expected 1, submitted 18; 5 slots differ\n"
            "  first misplaced key 18 (inserted 2nd): belongs in slot 9, submitted in slot 1\n"
            "  path: home 8 (held 8) -> 9 (empty): settles in slot 9\n"
            "  unknown keys: 77; missing keys: 2; repeated keys: 8\n"
            "  mistake: unexplained \xe2\x80\x94 no known mistake gives this line.\n"
            "  note: token \"18x\" read as 18\n");
}

TEST(explain_lines, names_the_mistake_and_elides_long_paths) {
  key_list first;
  for (key k = 1; k <= 40; ++k) first.push_back(k);
  key_list submitted = layout_of(build_layouts(50, first, {51}), strategy_id::double_hashing);
  std::swap(submitted[41], submitted[45]);
  const std::string text = explain_lines(diagnose(line(50, first, {51}, dh, submitted)));
  EXPECT_NE(text.find("  path (step 4): home 1 (held 1) -> 5 (held 5) -> 9 (held 9) -> 10 (held "
                      "10) -> "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("-> 22 (held 22) -> ... 15 more ... -> 38 (held 38) -> 39 (held 39) -> 40 "
                      "(held 40) -> 41 (empty): settles in slot 41\n"),
            std::string::npos)
      << text;

  const std::string swapped =
      explain_lines(diagnose(line(5, {3, 3, 6, 10}, {5}, lp, {5, 6, 10, 3, 0})));
  EXPECT_NE(swapped.find("  mistake: lists_swapped — the table is built with the two key lists "
                         "swapped"),
            std::string::npos)
      << swapped;
}

TEST(explain_lines, says_when_only_the_length_differs_and_keys_are_dropped) {
  EXPECT_EQ(explain_lines(diagnose(line(3, {3, 6, 9, 12}, {}, lp, {3, 6, 9, 12}))),
            "  4 keys for 3 slots; the first 3 match\n"
            "  first misplaced key 12 (inserted 4th): dropped from the correct table, submitted "
            "in slot 3\n"
            "  path: home 0 (held 3) -> 1 (held 6) -> 2 (held 9): no free slot, dropped\n"
            "  mistake: unexplained \xe2\x80\x94 no known mistake gives this line.\n");
}

TEST(explain_lines, escapes_tokens_and_caps_notes) {
  diagnosis d;
  d.notes = {{0, "1\t2", 1}, {1, "\"q\"", std::nullopt}, {2, "+3", 3}, {3, "04", 4}};
  EXPECT_EQ(explain_lines(d),
            "  notes: token \"1\\x092\" read as 1; token \"\\\"q\\\"\"; token \"+3\" read as 3; "
            "1 more\n");
}

}  // namespace
