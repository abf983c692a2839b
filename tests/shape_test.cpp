// A submission's shape: the run of lines out of step after a missing or extra line, and the
// separator a token gives away.
#include "checker/shape.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/whole_lines.h"

namespace {

// Nine output lines; `x` stands for a line that is no layout at all.
constexpr std::uint64_t x = 99;
const std::vector<std::uint64_t> distinct{11, 12, 13, 14, 15, 16, 17, 18, 19};
// Three cases whose three strategies agree, as in tables without collisions.
const std::vector<std::uint64_t> agreeing{21, 21, 21, 22, 22, 22, 23, 23, 23};

TEST(shift_finder, names_the_first_run_of_two_or_more_wrong_lines_out_of_step) {
  constexpr std::uint64_t none = no_layout;
  const struct {
    const char* what;
    const std::vector<std::uint64_t>* expected;
    std::vector<std::uint64_t> submitted;
    line_shift found;
  } cases[] = {
      {"all right", &distinct, distinct, {}},
      {"first line missing",
       &distinct,
       {12, 13, 14, 15, 16, 17, 18, 19, no_layout},
       {true, true, 1, 8}},
      {"line 5 missing",
       &distinct,
       {11, 12, 13, 14, 16, 17, 18, 19, no_layout},
       {true, true, 5, 8}},
      // Nothing comes after it, so nothing is out of step: the line is only missing.
      {"last line missing", &distinct, {11, 12, 13, 14, 15, 16, 17, 18, no_layout}, {}},
      {"a line added at the top",
       &distinct,
       {x, 11, 12, 13, 14, 15, 16, 17, 18},
       {true, false, 2, 9}},
      // Whole cases and blank lines: shifts of more than one line.
      {"the first case skipped",
       &distinct,
       {14, 15, 16, 17, 18, 19, none, none, none},
       {true, true, 1, 6, 3}},
      {"the middle case skipped",
       &distinct,
       {11, 12, 13, 17, 18, 19, none, none, none},
       {true, true, 4, 6, 3}},
      {"two blank lines between the first cases",
       &distinct,
       {11, 12, 13, none, none, 14, 15, 16, 17},
       {true, false, 6, 9, 2}},
      {"the previous case printed again",
       &distinct,
       {11, 12, 13, 11, 12, 13, 14, 15, 16},
       {true, false, 4, 9, 3}},
      // Lines that also hold nearer layouts leave the run of a whole case whole.
      {"lines missing, layouts agree by case",
       &agreeing,
       {22, 22, 22, 23, 23, 23, none, none, none},
       {true, true, 1, 6, 3}},
      // One line that is the next line's layout is another strategy's, not a shift.
      {"one line of the next layout", &distinct, {11, 12, 13, 15, 15, 16, 17, 18, 19}, {}},
      {"a line of the one above", &distinct, {11, 12, 13, 14, 14, 16, 17, 18, 19}, {}},
      // Right lines inside the run neither start nor break it.
      {"line 2 missing, layouts agree",
       &agreeing,
       {21, 21, 22, 22, 22, 23, 23, 23, no_layout},
       {true, true, 3, 8}},
      {"all right, layouts agree", &agreeing, agreeing, {}},
      {"a missing line, then an extra one",
       &distinct,
       {11, 13, 14, 15, x, 16, 17, 18, 19},
       {true, true, 2, 4}},
  };
  for (const auto& c : cases) {
    shift_finder finder(*c.expected);
    for (const std::uint64_t line : c.submitted) finder.line(line);
    const line_shift found = finder.finish();
    EXPECT_EQ(found.found, c.found.found) << c.what;
    if (!c.found.found) continue;
    EXPECT_EQ(found.missing, c.found.missing) << c.what;
    EXPECT_EQ(found.first, c.found.first) << c.what;
    EXPECT_EQ(found.last, c.found.last) << c.what;
    EXPECT_EQ(found.lines, c.found.lines) << c.what;
  }
}

// A line is read once, so a Wrong line's place in the run found is told as soon as it is
// settled: every answer given then must be the one the whole file gives. Fed every sequence of
// eight lines over a few line kinds, which makes runs that tie, overlap, beat an earlier one
// still open and end with the file: once with lines one away, once with lines further away too.
TEST(shift_finder, answers_settled_lines_as_the_whole_file_does) {
  struct kind {
    bool wrong;
    shift_holds holds;
  };
  const shift_holds next = shift_bit(true, 1);
  const shift_holds previous = shift_bit(false, 1);
  const shift_holds case_below = shift_bit(true, 3);
  const shift_holds two_above = shift_bit(false, 2);
  constexpr int kind_count = 6;
  const kind kind_sets[][kind_count] = {
      {{false, 0},
       {true, 0},
       {true, next},
       {true, previous},
       {true, next | previous},
       {false, next | previous}},
      {{false, 0},
       {true, 0},
       {true, next | case_below},
       {true, two_above},
       {true, case_below | two_above},
       {false, next | two_above}},
  };
  constexpr int length = 8;
  int sequences = 1;
  for (int i = 0; i < length; ++i) sequences *= kind_count;
  for (const auto& kinds : kind_sets) {
    for (int code = 0; code < sequences; ++code) {
      shift_finder finder;
      std::vector<line_shift> told;  // the run given for each line when it settled
      for (int i = 0, rest = code; i < length; ++i, rest /= kind_count) {
        const kind& k = kinds[rest % kind_count];
        finder.step(k.wrong, k.holds);
        const line_shift now = finder.settled();
        while (static_cast<std::int64_t>(told.size()) + 1 < finder.settled_before()) {
          told.push_back(now);
        }
      }
      const line_shift whole = finder.finish();
      ASSERT_EQ(finder.settled_before(), length + 1) << code;
      for (std::int64_t line = 1; line <= static_cast<std::int64_t>(told.size()); ++line) {
        const line_shift& early = told[static_cast<std::size_t>(line - 1)];
        ASSERT_EQ(early.holds(line), whole.holds(line)) << "sequence " << code << ", line " << line;
        if (whole.holds(line)) {
          ASSERT_EQ(early.missing, whole.missing) << code << ", " << line;
          ASSERT_EQ(early.lines, whole.lines) << code << ", " << line;
        }
      }
    }
  }
}

TEST(separator_of, names_what_stands_between_keys) {
  const struct {
    std::string token;
    key_separator separator;
  } cases[] = {
      {"3\t0\t0", key_separator::tabs},   {"3,", key_separator::commas},
      {"3;0", key_separator::semicolons}, {"[3,", key_separator::brackets},
      {"(3", key_separator::brackets},    {"0]", key_separator::brackets},
      {"4x", key_separator::spaces},      {"+4", key_separator::spaces},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(separator_of(c.token), c.separator) << c.token;
  }
  // Through a parsed line: its bad token, or the first of its lenient tokens that shows one.
  EXPECT_EQ(separator_of(parse_key_line("[3 0 0]")), key_separator::brackets);
  EXPECT_EQ(separator_of(parse_key_line("007 3,0,0")), key_separator::commas);
  EXPECT_EQ(separator_of(parse_key_line("3 0 0")), key_separator::spaces);
}

TEST(layout_digest, tells_lengths_and_orders_apart) {
  EXPECT_NE(layout_digest({}), layout_digest({0}));
  EXPECT_NE(layout_digest({0}), layout_digest({0, 0}));
  EXPECT_NE(layout_digest({1, 2}), layout_digest({2, 1}));
  EXPECT_EQ(layout_digest({3, 0, 24}), layout_digest({3, 0, 24}));
  EXPECT_NE(layout_digest({}), no_layout);
}

}  // namespace
