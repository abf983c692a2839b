#include "checker/line_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Every status and line that reading `content` to its end gives, plus one read past the end.
std::vector<std::string> read_all(const std::string& content) {
  std::FILE* file = std::tmpfile();
  std::fwrite(content.data(), 1, content.size(), file);
  std::rewind(file);
  line_reader reader;
  reader.file = file;
  reader.path = "test";
  std::vector<std::string> seen;
  std::string text = "stale";
  for (;;) {
    const read_status status = read_line(reader, text);
    if (status != read_status::line) {
      seen.push_back(status == read_status::end ? "<end:" + text + ">" : "<error>");
      break;
    }
    seen.push_back(text);
  }
  seen.push_back(read_line(reader, text) == read_status::end ? "<end>" : "<more>");
  seen.push_back(std::to_string(reader.line_number));
  std::fclose(file);
  return seen;
}

TEST(read_line, splits_at_line_feeds_and_drops_only_the_carriage_return_before_one) {
  using lines = std::vector<std::string>;
  EXPECT_EQ(read_all(""), (lines{"<end:>", "<end>", "2"}));
  EXPECT_EQ(read_all("\n"), (lines{"", "<end:>", "<end>", "3"}));
  EXPECT_EQ(read_all("1 2\n3"), (lines{"1 2", "3", "<end:>", "<end>", "4"}));
  EXPECT_EQ(read_all("a\r\nb\r\n"), (lines{"a", "b", "<end:>", "<end>", "4"}));
  EXPECT_EQ(read_all("a\rb\r"), (lines{"a\rb\r", "<end:>", "<end>", "3"}));
  EXPECT_EQ(read_all(std::string("x\0y\n", 4)),
            (lines{std::string("x\0y", 3), "<end:>", "<end>", "3"}));
}

TEST(read_line, a_line_longer_than_a_block_comes_whole) {
  const std::string long_line(3 * 1024 * 1024 + 5, '7');
  EXPECT_EQ(read_all(long_line + "\r\n8"),
            (std::vector<std::string>{long_line, "8", "<end:>", "<end>", "4"}));
}

TEST(read_line, a_stream_that_fails_reports_an_error) {
  std::FILE* file = std::fopen("/proc/self/mem", "rb");
  ASSERT_NE(file, nullptr);
  line_reader reader;
  reader.file = file;
  reader.path = "mem";
  std::string text;
  EXPECT_EQ(read_line(reader, text), read_status::error);
  std::fclose(file);
}

}  // namespace

namespace {

// A carriage return that ends a 64 KiB block belongs to the line break when a line feed opens the
// next block, and to the line otherwise; a byte-order mark counts only at the very start.
TEST(read_key_line, carriage_returns_at_block_ends_and_byte_order_marks) {
  const std::string filler(65536 - 3, ' ');  // puts the carriage return last in the block
  const struct {
    std::string text;
    std::vector<key_list> lines;
    token_fault last_fault;
  } cases[] = {
      {"\xEF\xBB\xBF"
       "1 2\n3\n",
       {{1, 2}, {3}},
       token_fault::none},
      {"7 " + filler + "\r\n8\n", {{7}, {8}}, token_fault::none},
      {"7 " + filler + "\rx\n", {{7}}, token_fault::no_number},  // the token "\rx"
      {"1\n\xEF\xBB\xBF"
       "2\n",
       {{1}, {}},
       token_fault::no_number},
  };
  for (const auto& c : cases) {
    std::FILE* file = std::tmpfile();
    std::fwrite(c.text.data(), 1, c.text.size(), file);
    std::rewind(file);
    line_reader reader;
    reader.file = file;
    parsed_line parsed;
    for (const key_list& expected : c.lines) {
      ASSERT_EQ(read_key_line(reader, parsed), read_status::line);
      EXPECT_EQ(parsed.keys, expected);
    }
    EXPECT_EQ(parsed.fault, c.last_fault);
    EXPECT_EQ(read_key_line(reader, parsed), read_status::end);
    std::fclose(file);
  }
}

}  // namespace
