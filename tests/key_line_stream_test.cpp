#include "checker/key_line_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "checker/key_lines.h"
#include "reference/reference_key_lines.h"
#include "tests/whole_lines.h"

namespace {

// Feeds `line` in pieces of `piece` bytes.
parsed_line parse_in_pieces(std::string_view line, std::size_t piece, bool one_token = false,
                            std::size_t key_limit = no_key_limit, bool any_separator = false,
                            bool read_markers = false) {
  parsed_line parsed;
  key_line_parser parser;
  parser.any_separator = any_separator;
  begin_line(parser, parsed, one_token, key_limit, read_markers);
  for (std::size_t at = 0; at < line.size(); at += piece) {
    const std::string_view part = line.substr(at, piece);
    feed_line(parser, part.data(), part.data() + part.size());
  }
  end_line(parser);
  return parsed;
}

// Every line, cut every possible way, parses as split_keys parses it whole.
TEST(key_line_parser, agrees_with_split_keys_wherever_a_line_is_cut) {
  const std::string lines[] = {
      "",
      "1 2 3",
      "  1  2 ",
      "+4 -3 007 12ab",
      "1\t2",
      "x1 2",
      "1 2 -",
      "2147483647 2147483648",
      "-2147483648 0",
      "1 \t 2",
      " \r",
      "00000000000000000000012",
      "9999999999999999999999 1",
      "5 +",
      "1 2 3x 4",
      std::string(300, 'z') + " 1",
      // Long enough for the register-at-a-time path: every digit count, the largest key and
      // one past it, leading zeros, a byte above 0x7F and a space run.
      "1 12 123 1234 12345 123456 1234567 12345678 123456789 1234567890 2147483647 0 9 ",
      "999999999 1000000000 2147483647 2147483648 1 2 3 4 5 6 7 8 9",
      "0 00 01 0000000001 4294967295 1 2 3 4 5 6 7 8 9 10 11 12",
      "12345678901 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16",
      "123\x80"
      "456 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16",
      "7    8     9      10 2000000000 2100000000 2147483646 2147483640 3",
  };
  for (const std::string& line : lines) {
    const split_result whole = split_keys(line, " ");
    for (std::size_t piece = 1; piece <= line.size() + 1; ++piece) {
      const parsed_line parsed = parse_in_pieces(line, piece);
      EXPECT_EQ(parsed.keys, whole.keys) << '"' << line << "\" in pieces of " << piece;
      EXPECT_EQ(parsed.fault, whole.fault) << line;
      if (whole.fault != token_fault::none) {
        EXPECT_EQ(parsed.token, whole.token.substr(0, kept_token_bytes)) << line;
        EXPECT_EQ(parsed.token_cut, whole.token.size() > kept_token_bytes) << line;
      }
    }
  }
}

// Long lines of mixed tokens, most of them plain, against split_keys at a few piece sizes; with
// a key limit, the first keys are kept and the others only counted, by every path of the parser.
TEST(key_line_parser, agrees_with_split_keys_on_long_mixed_lines) {
  std::mt19937 rng(1307);
  const std::string odd[] = {"+5", "007", "4x", "-3", "", "2147483648", "x", "0"};
  for (int round = 0; round < 200; ++round) {
    std::string line;
    for (int token = 0; token < 60; ++token) {
      if (rng() % 10 == 0) {
        line += odd[rng() % std::size(odd)];
      } else {
        line += std::to_string(rng() % (std::uint64_t{1} << (rng() % 32)));
      }
      line += ' ';
    }
    if (rng() % 2 == 0) line.pop_back();
    const split_result whole = split_keys(line, " ");
    for (const std::size_t piece :
         {std::size_t{7}, std::size_t{16}, std::size_t{61}, line.size()}) {
      const parsed_line parsed = parse_in_pieces(line, piece);
      ASSERT_EQ(parsed.keys, whole.keys) << '"' << line << "\" in pieces of " << piece;
      ASSERT_EQ(parsed.fault, whole.fault) << line;
      const std::size_t limit = rng() % 64;
      const parsed_line cut = parse_in_pieces(line, piece, false, limit);
      const std::size_t kept = std::min(limit, whole.keys.size());
      ASSERT_EQ(cut.keys, key_list(whole.keys.begin(), whole.keys.begin() + kept))
          << '"' << line << "\" in pieces of " << piece << ", keeping " << limit;
      ASSERT_EQ(cut.dropped_keys, static_cast<std::int64_t>(whole.keys.size() - kept)) << line;
      ASSERT_EQ(cut.fault, whole.fault) << line;
      for (const lenient_token& note : cut.lenient) ASSERT_LT(note.index, kept) << line;
    }
  }
}

TEST(key_line_parser, notes_tokens_read_leniently) {
  const parsed_line parsed = parse_key_line("4x +5 007 8 0 \t9");
  EXPECT_EQ(parsed.keys, (key_list{4, 5, 7, 8, 0, 9}));
  ASSERT_EQ(parsed.lenient.size(), 4U);
  const std::pair<std::size_t, std::string> expected[] = {
      {0, "4x"}, {1, "+5"}, {2, "007"}, {5, "\t9"}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(parsed.lenient[i].index, expected[i].first);
    EXPECT_EQ(parsed.lenient[i].text, expected[i].second);
  }
}

// The case count is the token value of the whole line: spaces are white space, not separators.
TEST(key_line_parser, a_whole_line_token_reads_like_the_case_count) {
  // `numbers`: how many numbers the line holds split at white space, as an output file's first
  // line does when the files are swapped.
  const struct {
    std::string line;
    key_list keys;
    token_fault fault;
    std::int64_t numbers;
  } cases[] = {
      {"3", {3}, token_fault::none, 1},
      {"  3 cases", {3}, token_fault::none, 1},
      {"", {}, token_fault::none, 0},
      {"   ", {}, token_fault::blank, 0},
      {"abc", {}, token_fault::no_number, 0},
      {"99999999999", {}, token_fault::out_of_range, 0},
      {"-7 x", {-7}, token_fault::none, 1},
      {"3 0 0 10 17 4 24", {3}, token_fault::none, 7},
      {"3\t0  +4 -x 5x -6 7-", {3}, token_fault::none, 6},
      {"12 cases, 3 each", {12}, token_fault::none, 2},
  };
  for (const auto& c : cases) {
    for (std::size_t piece = 1; piece <= c.line.size() + 1; ++piece) {
      const parsed_line parsed = parse_in_pieces(c.line, piece, true);
      EXPECT_EQ(parsed.keys, c.keys) << c.line;
      EXPECT_EQ(parsed.fault, c.fault) << c.line;
      if (c.fault == token_fault::none) {
        EXPECT_EQ(parsed.whole_line_numbers, c.numbers) << c.line;
      }
    }
  }
}

// Keys between single spaces, as the exercise states them, or between any run of spaces, tabs,
// commas and semicolons with brackets ignored (--separators=any), cut every way and on the
// register-at-a-time path alike.
TEST(key_line_parser, reads_separators_as_stated_or_any) {
  const struct {
    std::string line;
    key_list spaces;
    token_fault spaces_fault;
    key_list any;
  } cases[] = {
      {"3\t0\t10", {3}, token_fault::none, {3, 0, 10}},
      {"3,0,10", {3}, token_fault::none, {3, 0, 10}},
      {"3, 0, 10", {3, 0, 10}, token_fault::none, {3, 0, 10}},
      {"3;0;;10;", {3}, token_fault::none, {3, 0, 10}},
      {"[3 0 10]", {}, token_fault::no_number, {3, 0, 10}},
      {"(3), {0}, [10]", {}, token_fault::no_number, {3, 0, 10}},
      {" [ 3 ,\t0 ; 10 ] ", {}, token_fault::no_number, {3, 0, 10}},
      {"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18",
       {1},
       token_fault::none,
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
      {"[10;20;30;40;50;60;70;80;90]\t100",
       {},
       token_fault::no_number,
       {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
      {"3 x,4", {3}, token_fault::no_number, {3}},
  };
  for (const auto& c : cases) {
    for (std::size_t piece = 1; piece <= c.line.size() + 1; ++piece) {
      const parsed_line stated = parse_in_pieces(c.line, piece);
      EXPECT_EQ(stated.keys, c.spaces) << '"' << c.line << "\" in pieces of " << piece;
      EXPECT_EQ(stated.fault, c.spaces_fault) << c.line;
      const parsed_line any = parse_in_pieces(c.line, piece, false, no_key_limit, true);
      EXPECT_EQ(any.keys, c.any) << '"' << c.line << "\" in pieces of " << piece << ", any";
    }
  }
}

// A bad token of any length keeps only its first bytes.
// "None" printed for an empty slot: still the line's bad token, but the line is read on while
// every bad token is "None"; whatever follows, the first bad token is the one reported.
TEST(key_line_parser, reads_none_as_the_empty_marker_while_every_bad_token_is_none) {
  const struct {
    std::string line;
    bool marked;
    key_list keys;  // when marked
    std::string token;
    token_fault fault;
  } cases[] = {
      {"3 None 5", true, {3, -1, 5}, "None", token_fault::no_number},
      {"None None", true, {-1, -1}, "None", token_fault::no_number},
      {"1 2 3 4 5 6 7 8 None 10 11 12 13 14 15 16 17", true,
       key_list{1, 2, 3, 4, 5, 6, 7, 8, -1, 10, 11, 12, 13, 14, 15, 16, 17}, "None",
       token_fault::no_number},
      {"3 None x 5", false, {}, "None", token_fault::no_number},
      {"3 None 99999999999", false, {}, "None", token_fault::no_number},
      {"3 None -", false, {}, "None", token_fault::no_number},
      {"3 Nonee 5", false, {}, "Nonee", token_fault::no_number},
      {"3 none 5", false, {}, "none", token_fault::no_number},
      {"x None 5", false, {}, "x", token_fault::no_number},
      {"9999999999 None", false, {}, "9999999999", token_fault::out_of_range},
  };
  for (const auto& c : cases) {
    for (std::size_t piece = 1; piece <= c.line.size() + 1; ++piece) {
      const parsed_line read = parse_in_pieces(c.line, piece, false, no_key_limit, false, true);
      EXPECT_EQ(read.marked_empty, c.marked) << c.line << " in pieces of " << piece;
      EXPECT_EQ(read.token, c.token) << c.line << " in pieces of " << piece;
      EXPECT_EQ(read.fault, c.fault) << c.line << " in pieces of " << piece;
      if (c.marked) {
        EXPECT_EQ(read.keys, c.keys) << c.line << " in pieces of " << piece;
      }
      const parsed_line plain = parse_in_pieces(c.line, piece);
      EXPECT_FALSE(plain.marked_empty) << c.line;
      EXPECT_EQ(plain.token, c.token) << c.line;
      EXPECT_EQ(plain.fault, c.fault) << c.line;
    }
  }
}

TEST(key_line_parser, keeps_a_long_bad_token_short) {
  const std::string token(1 << 20, 'q');
  const parsed_line parsed = parse_in_pieces("1 " + token + " 2", 4096);
  EXPECT_EQ(parsed.keys, key_list{1});
  EXPECT_EQ(parsed.token, token.substr(0, kept_token_bytes));
  EXPECT_TRUE(parsed.token_cut);
  EXPECT_EQ(quote_token(parsed.token, parsed.token_cut), "\"" + std::string(40, 'q') + "...\"");
}

}  // namespace
