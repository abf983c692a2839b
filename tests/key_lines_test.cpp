#include "checker/key_lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "reference/reference_key_lines.h"
#include "render/key_text.h"
#include "tests/written_text.h"

namespace {

struct split_case {
  std::string line;
  key_list keys;
  token_fault fault;
  std::string bad_token;
  bool plain_form;
};

TEST(split_keys, converts_tokens_the_way_the_files_use_them) {
  const split_case cases[] = {
      {"1 2 3", {1, 2, 3}, token_fault::none, "", true},
      {"  1  2 ", {1, 2}, token_fault::none, "", false},
      {"", {}, token_fault::none, "", true},
      {"42", {42}, token_fault::none, "", true},
      {"1\t2", {1}, token_fault::none, "", false},
      {"+4 -3 007 12ab", {4, -3, 7, 12}, token_fault::none, "", false},
      {"1 \t", {1}, token_fault::none, "", false},
      {"\t5 \r", {5}, token_fault::none, "", false},
      {"2147483647 -2147483648", {2147483647, -2147483648}, token_fault::none, "", true},
      {"1 2147483648 3", {1}, token_fault::out_of_range, "2147483648", false},
      {"-2147483649", {}, token_fault::out_of_range, "-2147483649", false},
      {"99999999999999999999999", {}, token_fault::out_of_range, "99999999999999999999999", false},
      {"1 - 2", {1}, token_fault::no_number, "-", false},
      {"+", {}, token_fault::no_number, "+", false},
      {"7 abc", {7}, token_fault::no_number, "abc", false},
      {"+-3", {}, token_fault::no_number, "+-3", false},
      {std::string("4\0 5", 4), {4, 5}, token_fault::none, "", false},
      {std::string("\0", 1), {}, token_fault::no_number, std::string("\0", 1), false},
      {"0 -1 10", {0, -1, 10}, token_fault::none, "", true},
      {"-0 00 1", {0, 0, 1}, token_fault::none, "", false},
  };
  for (const split_case& c : cases) {
    const split_result result = split_keys(c.line, " ");
    EXPECT_EQ(result.keys, c.keys) << c.line;
    EXPECT_EQ(result.fault, c.fault) << c.line;
    EXPECT_EQ(std::string(result.token), c.bad_token) << c.line;
    EXPECT_EQ(result.plain_form, c.plain_form) << c.line;
  }
}

TEST(split_keys, takes_any_delimiter_text) {
  EXPECT_EQ(split_keys("1, 2,,3", ",").keys, (key_list{1, 2, 3}));
  EXPECT_EQ(split_keys("1 2", "").keys, (key_list{1}));
}

TEST(split_keys, a_line_of_a_million_keys_parses_whole) {
  std::string line;
  key_list expected;
  for (key k = 0; k < 1000000; ++k) {
    line += std::to_string(k * 2147) + "  ";
    expected.push_back(k * 2147);
  }
  EXPECT_EQ(split_keys(line, " ").keys, expected);
}

// Captures what a key-line writer puts into a stream.
std::string written(void (*writer)(text_out&, const key_list&), const key_list& keys) {
  return ::written([&](text_out& out) { writer(out, keys); });
}

TEST(key_line_forms, console_has_a_space_after_every_key_and_file_none_at_the_end) {
  EXPECT_EQ(written(print_keys, {1, 2, 3}), "1 2 3 \n");
  EXPECT_EQ(written(print_keys, {}), "\n");
  EXPECT_EQ(written(write_keys, {1, 2, 3}), "1 2 3\n");
  EXPECT_EQ(written(write_keys, {7}), "7\n");
  EXPECT_EQ(written(write_keys, {}), "\n");
  EXPECT_EQ(written(write_keys, {-2147483647 - 1, 0}), "-2147483648 0\n");
  EXPECT_EQ(split_keys("-2147483648 0", " ").keys, (key_list{-2147483647 - 1, 0}));
}

// Lines are written a chunk of keys at a time; a long line must come out the same as one written
// key by key, whichever chunk its last key falls in.
TEST(key_line_forms, long_lines_span_chunks_seamlessly) {
  for (const std::size_t count : {4095, 4096, 4097, 20000}) {
    key_list keys;
    std::string file_form;
    for (std::size_t i = 0; i < count; ++i) {
      keys.push_back(static_cast<key>(i * 2654435761U % 2147483648U) -
                     (i % 7 == 0 ? 2147483647 : 0));
      if (i != 0) file_form += ' ';
      file_form += std::to_string(keys.back());
    }
    EXPECT_EQ(written(print_keys, keys), file_form + " \n") << count;
    EXPECT_EQ(written(write_keys, keys), file_form + "\n") << count;
  }
}

// Keys are formatted by digit count; every count's first and last value, on both signs.
TEST(key_line_forms, every_digit_count_boundary) {
  key_list keys{0, 2147483647, -2147483647 - 1};
  std::string file_form = "0 2147483647 -2147483648";
  for (std::int64_t power = 10; power <= 1000000000; power *= 10) {
    for (const std::int64_t value : {power - 1, power, power + 1, -(power - 1), -power}) {
      keys.push_back(static_cast<key>(value));
      file_form += ' ';
      file_form += std::to_string(value);
    }
  }
  EXPECT_EQ(written(write_keys, keys), file_form + "\n");
}

// Every key below 100,000 and a sweep across the whole range, on both signs, as std::to_string
// writes them.
TEST(key_line_forms, agrees_with_to_string_across_the_range) {
  key_list keys;
  std::string file_form;
  const auto add = [&](std::int64_t value) {
    keys.push_back(static_cast<key>(value));
    if (!file_form.empty()) file_form += ' ';
    file_form += std::to_string(value);
  };
  for (std::int64_t value = 0; value < 100000; ++value) add(value);
  for (std::int64_t value = 100000; value <= 2147483647; value += 2147) add(value);
  for (std::int64_t value = -2147483648; value < 0; value += 21471) add(value);
  EXPECT_EQ(written(write_keys, keys), file_form + "\n");
}

// A long echo is formatted a segment of 2^20 keys at a time on two threads; whichever segment
// the list ends in, the bytes are those of one thread.
TEST(key_line_forms, two_threads_write_what_one_writes) {
  constexpr std::size_t segment = std::size_t{1} << 20;
  for (const std::size_t count : {std::size_t{0}, std::size_t{1}, segment - 1, segment, segment + 1,
                                  2 * segment + 3, 3 * segment + 7}) {
    key_list keys(count);
    for (std::size_t i = 0; i < count; ++i) {
      keys[i] = static_cast<key>(i * 2654435761U % 2147483648U) - (i % 5 == 0 ? 2147483647 : 0);
    }
    EXPECT_EQ(written(print_keys_on_two_threads, keys), written(print_keys, keys)) << count;
    // The form a report writes twice, kept as text: after what the text held already.
    std::string text = "[";
    ASSERT_TRUE(append_keys_separated(text, keys, ','));
    std::string expected(1, '[');
    expected += ::written([&](text_out& out) { put_keys_separated(out, keys, ','); });
    EXPECT_EQ(text, expected) << count;
  }
}

TEST(same_keys, compares_length_and_order) {
  EXPECT_TRUE(same_keys({1, 2, 3}, {1, 2, 3}));
  EXPECT_FALSE(same_keys({1, 2, 3}, {1, 2}));
  EXPECT_FALSE(same_keys({1, 2, 3}, {1, 3, 2}));
  EXPECT_TRUE(same_keys({}, {}));
}

TEST(quote_token, keeps_messages_on_one_printable_line) {
  EXPECT_EQ(quote_token("abc"), "\"abc\"");
  EXPECT_EQ(quote_token(std::string("a\0\r\"\\\xff", 6)), "\"a\\x00\\x0d\\\"\\\\\\xff\"");
  EXPECT_EQ(quote_token(std::string(50, '7')), "\"" + std::string(40, '7') + "...\"");
}

}  // namespace
