// A submission's shape: the run of lines out of step after a missing or extra line, and the
// separator a token gives away.
#include "checker/shape.h"

#include <gtest/gtest.h>

#include <algorithm>
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
// Five cases, every layout its own.
const std::vector<std::uint64_t> five_cases{31, 32, 33, 34, 35, 36, 37, 38,
                                            39, 40, 41, 42, 43, 44, 45};

TEST(shift_finder, names_every_run_of_two_or_more_wrong_lines_out_of_step) {
  constexpr std::uint64_t none = no_layout;
  const struct {
    const char* what;
    const std::vector<std::uint64_t>* expected;
    std::vector<std::uint64_t> submitted;
    line_shift found;  // the first run
    std::int64_t more = 0;
    line_shift last{};  // the last run, with `more`
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
      // A line further away than a case: each case shifted further than the one before.
      {"a blank line after every case",
       &five_cases,
       {31, 32, 33, x, 34, 35, 36, x, 37, 38, 39, x, 40, 41, 42},
       {true, false, 5, 7, 1},
       2,
       {true, false, 13, 15, 3}},
      {"two blank lines after every case",
       &five_cases,
       {31, 32, 33, x, x, 34, 35, 36, x, x, 37, 38, 39, x, x},
       {true, false, 6, 8, 2},
       1,
       {true, false, 11, 13, 4}},
      {"two cases printed twice",
       &five_cases,
       {31, 32, 33, 34, 35, 36, 31, 32, 33, 34, 35, 36, 37, 38, 39},
       {true, false, 7, 15, 6}},
      // A single line that happens to hold a layout far above is not a run.
      {"one line of a layout far above",
       &five_cases,
       {31, 32, 33, 34, 35, 36, 37, 38, 39, 32, 41, 42, 43, 44, 45},
       {}},
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
    EXPECT_EQ(finder.more_runs(), c.more) << c.what;
    if (c.more == 0) continue;
    EXPECT_EQ(finder.last_run().missing, c.last.missing) << c.what;
    EXPECT_EQ(finder.last_run().first, c.last.first) << c.what;
    EXPECT_EQ(finder.last_run().lines, c.last.lines) << c.what;
  }
}

struct line_kind {
  bool wrong;
  shift_holds holds;
  far_lines far_above{};
};

// The run that names each line of a whole file, found the slow way: every maximal run of lines
// holding the same distance, the Wrong lines of those with two or more named by the one that
// starts first (the nearer, the missing one first, when two start together).
std::vector<line_shift> named_runs(const std::vector<line_kind>& file) {
  const auto count = static_cast<std::int64_t>(file.size());
  std::vector<line_shift> named(file.size());
  constexpr auto near = static_cast<std::int64_t>(2 * max_shift_lines);
  // Near slots first, then each distance further up, nearer first: the order ties go by.
  std::vector<std::int64_t> keys;
  for (std::int64_t slot = 0; slot < near; ++slot) keys.push_back(slot);
  std::vector<std::int64_t> far;
  for (const line_kind& k : file) {
    for (const std::int64_t d : k.far_above) {
      if (d != 0) far.push_back(d);
    }
  }
  std::sort(far.begin(), far.end());
  far.erase(std::unique(far.begin(), far.end()), far.end());
  for (const std::int64_t d : far) keys.push_back(near + d);
  for (const std::int64_t key : keys) {
    const auto distance = [&](std::int64_t i) -> std::int64_t {
      const line_kind& k = file[static_cast<std::size_t>(i)];
      if (key >= near) {
        const bool held =
            std::find(k.far_above.begin(), k.far_above.end(), key - near) != k.far_above.end();
        return held ? key - near : 0;
      }
      return (k.holds >> key & 1U) != 0 ? key / 2 + 1 : 0;
    };
    for (std::int64_t from = 0; from < count;) {
      std::int64_t to = from;
      while (to < count && distance(to) != 0) ++to;
      if (to == from) {
        ++from;
        continue;
      }
      std::int64_t first_wrong = 0;
      std::int64_t wrong = 0;
      for (std::int64_t i = from; i < to; ++i) {
        if (!file[static_cast<std::size_t>(i)].wrong) continue;
        if (wrong++ == 0) first_wrong = i + 1;
      }
      for (std::int64_t i = from; wrong >= 2 && i < to; ++i) {
        line_shift& line = named[static_cast<std::size_t>(i)];
        if (!file[static_cast<std::size_t>(i)].wrong || (line.found && line.first <= first_wrong)) {
          continue;
        }
        line = {true, key < near && key % 2 == 0, first_wrong, to, distance(from)};
      }
      from = to;
    }
  }
  return named;
}

// A line is read once, so a Wrong line's run is told as soon as it is settled: every answer
// given then must be the one the whole file gives. Fed every sequence of seven lines over a few
// line kinds, which makes runs that tie, overlap, follow one another and end with the file:
// with lines one away, further away within a case, and further up than a case.
TEST(shift_finder, answers_settled_lines_as_the_whole_file_does) {
  const shift_holds next = shift_bit(true, 1);
  const shift_holds previous = shift_bit(false, 1);
  const shift_holds case_below = shift_bit(true, 3);
  const shift_holds two_above = shift_bit(false, 2);
  constexpr int kind_count = 6;
  const line_kind kind_sets[][kind_count] = {
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
      {{false, 0},
       {true, 0},
       {true, previous, {5}},
       {true, 0, {5, 7}},
       {true, 0, {7}},
       {false, 0, {5}}},
  };
  constexpr int length = 7;
  int sequences = 1;
  for (int i = 0; i < length; ++i) sequences *= kind_count;
  for (const auto& kinds : kind_sets) {
    for (int code = 0; code < sequences; ++code) {
      shift_finder finder;
      finder.kept_for_lines = true;
      std::vector<line_kind> file;
      std::vector<line_shift> told;  // the run given for each line when it settled
      const auto ask_settled = [&] {
        while (static_cast<std::int64_t>(told.size()) + 1 < finder.settled_before()) {
          told.push_back(finder.shift_of(static_cast<std::int64_t>(told.size()) + 1));
        }
      };
      for (int i = 0, rest = code; i < length; ++i, rest /= kind_count) {
        file.push_back(kinds[rest % kind_count]);
        finder.step(file.back().wrong, file.back().holds, file.back().far_above);
        ask_settled();
      }
      finder.finish();
      ask_settled();
      ASSERT_EQ(told.size(), file.size()) << code;
      const std::vector<line_shift> whole = named_runs(file);
      for (std::size_t line = 0; line < told.size(); ++line) {
        ASSERT_EQ(told[line].found, whole[line].found) << "sequence " << code << ", line " << line;
        if (!whole[line].found) continue;
        ASSERT_EQ(told[line].missing, whole[line].missing) << code << ", " << line;
        ASSERT_EQ(told[line].lines, whole[line].lines) << code << ", " << line;
        ASSERT_EQ(told[line].first, whole[line].first) << code << ", " << line;
      }
    }
  }
}

// A line far longer than any table keeps only the keys grading keeps, yet is digested whole, so
// that it still matches the layout it holds; cut later to fewer keys, it keeps that digest.
TEST(shift_finder, digests_a_line_longer_than_it_keeps) {
  key_list all;
  std::string text;
  for (key k = 0; k < 200000; ++k) {
    all.push_back(k % 7 == 0 ? 0 : k);
    text += std::to_string(all.back()) + " ";
  }
  parsed_line parsed;
  key_line_parser parser;
  begin_line(parser, parsed, false, 5);
  for (std::size_t at = 0; at < text.size(); at += 4093) {
    const std::size_t piece = std::min<std::size_t>(4093, text.size() - at);
    feed_line(parser, text.data() + at, text.data() + at + piece);
  }
  end_line(parser);
  EXPECT_EQ(parsed.keys.size(), 5U);
  EXPECT_EQ(parsed.dropped_keys, 200000 - 5);
  EXPECT_EQ(parsed.whole.value(), layout_digest(all));
  key_list shorter(all.begin(), all.end() - 1);
  EXPECT_NE(parsed.whole.value(), layout_digest(shorter));

  parsed_line whole = parse_key_line(text);
  keep_graded_keys(whole, 3);
  EXPECT_EQ(whole.keys.size(), 3U);
  EXPECT_EQ(whole.whole.value(), layout_digest(all));
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
