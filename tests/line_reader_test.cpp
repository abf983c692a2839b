#include "checker/line_reader.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "checker/line_prefetch.h"

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

// A pipe hands over what its writer wrote so far: each piece below is written only once the pipe
// is empty again, so each comes in a read of its own. However the pieces split a byte-order mark,
// it is skipped, and bytes that began like one but were not stay in the line.
TEST(read_line, a_byte_order_mark_split_across_pipe_reads) {
  using lines = std::vector<std::string>;
  const struct {
    lines pieces;
    lines read;
  } cases[] = {
      {{"\xEF",
        "\xBB\xBF"
        "1 2\n3"},
       {"1 2", "3", "<end:>"}},
      {{"\xEF\xBB",
        "\xBF"
        "1 2\n"},
       {"1 2", "<end:>"}},
      {{"\xEF", "\xBB", "\xBF", "1 2\n"}, {"1 2", "<end:>"}},
      {{"\xEF\xBB\xBF", "\n7\n"}, {"", "7", "<end:>"}},
      {{"\xEF\xBB\xBF"}, {"<end:>"}},
      {{"\xEF", "1\n"},
       {"\xEF"
        "1",
        "<end:>"}},
      {{"\xEF\xBB", "x\xEF\xBB\xBF\n"}, {"\xEF\xBBx\xEF\xBB\xBF", "<end:>"}},
      {{"\xEF\xBB"}, {"\xEF\xBB", "<end:>"}},
  };
  for (const auto& c : cases) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::thread writer([&c, &ends] {
      for (const std::string& piece : c.pieces) {
        for (int waiting = 1; waiting > 0;) ::ioctl(ends[1], FIONREAD, &waiting);
        EXPECT_EQ(::write(ends[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
      }
      ::close(ends[1]);
    });
    line_reader reader;
    reader.file = ::fdopen(ends[0], "rb");
    lines read;
    std::string text;
    for (read_status status = read_status::line; status == read_status::line;) {
      status = read_line(reader, text);
      read.push_back(status == read_status::line ? text : "<end:" + text + ">");
    }
    writer.join();
    std::fclose(reader.file);
    EXPECT_EQ(read, c.read) << testing::PrintToString(c.pieces);
  }
}

// Lines read ahead on a thread are what three read_key_line calls in turn give: keys, faults,
// statuses and line numbers, also past the end of the file; the reader goes on after them.
TEST(line_prefetch, reads_what_three_calls_in_turn_read) {
  const std::string contents[] = {"1 2 3\n4x 5\nzero 6\n7\n", "1 2\n", "", "9 8 7 6 5\r\n\n"};
  for (const std::string& content : contents) {
    std::FILE* ahead_file = std::tmpfile();
    std::FILE* turn_file = std::tmpfile();
    for (std::FILE* file : {ahead_file, turn_file}) {
      std::fwrite(content.data(), 1, content.size(), file);
      std::rewind(file);
    }
    line_reader ahead_reader;
    ahead_reader.file = ahead_file;
    line_reader turn_reader;
    turn_reader.file = turn_file;
    line_prefetch prefetch;
    ASSERT_TRUE(prefetch.start(ahead_reader)) << "a temporary file is a regular file";
    const submitted_lines& lines = prefetch.take();
    EXPECT_FALSE(prefetch.started());
    ASSERT_EQ(lines.count, 3);
    for (int i = 0; i < 3; ++i) {
      parsed_line expected;
      EXPECT_EQ(lines.status[i], read_key_line(turn_reader, expected)) << content << i;
      EXPECT_EQ(lines.line_number[i], turn_reader.line_number);
      EXPECT_EQ(lines.parsed[i].keys, expected.keys);
      EXPECT_EQ(lines.parsed[i].fault, expected.fault);
      EXPECT_EQ(lines.parsed[i].token, expected.token);
    }
    parsed_line next_ahead;
    parsed_line next_turn;
    EXPECT_EQ(read_key_line(ahead_reader, next_ahead), read_key_line(turn_reader, next_turn));
    EXPECT_EQ(next_ahead.keys, next_turn.keys);
    std::fclose(ahead_file);
    std::fclose(turn_file);
  }
}

// The first lines alone, and only on a thread: without one nothing is read, and the reader is
// left where it was for the lines to be read in turn.
TEST(line_prefetch, reads_the_first_lines_on_a_thread_or_none) {
  for (const long allowed : {-1L, 0L}) {
    const long before = thread_starts_left.exchange(allowed);
    std::FILE* file = std::tmpfile();
    const std::string content = "1 2\n3\n4 5 6\n7\n";
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
    line_reader reader;
    reader.file = file;
    line_prefetch prefetch;
    const bool started = prefetch.start_on_thread(reader, no_key_limit, 2);
    thread_starts_left.store(before);
    EXPECT_EQ(started, allowed != 0);
    if (started) {
      const submitted_lines& lines = prefetch.take();
      ASSERT_EQ(lines.count, 2);
      EXPECT_EQ(lines.wanted, 2);
      EXPECT_EQ(lines.parsed[1].keys, key_list{3});
    }
    parsed_line next;
    EXPECT_EQ(read_key_line(reader, next), read_status::line);
    EXPECT_EQ(next.keys, started ? key_list({4, 5, 6}) : key_list({1, 2})) << allowed;
    std::fclose(file);
  }
}

// A pipe is never read ahead: its writer may never write the lines.
TEST(line_prefetch, leaves_a_pipe_alone) {
  std::FILE* pipe = ::popen("true", "r");
  ASSERT_NE(pipe, nullptr);
  line_reader reader;
  reader.file = pipe;
  line_prefetch prefetch;
  EXPECT_FALSE(prefetch.start(reader));
  EXPECT_FALSE(prefetch.started());
  EXPECT_EQ(reader.line_number, 0);
  ::pclose(pipe);
}

}  // namespace
