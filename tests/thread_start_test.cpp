#include "hashing/thread_start.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "hashing/hash_table.h"
#include "hashing/wrong_variants.h"
#include "render/key_text.h"
#include "tests/written_text.h"

namespace {

namespace fs = std::filesystem;

// Lets only `count` more thread starts succeed (all, below 0) for the length of a scope.
class starts_allowed {
 public:
  explicit starts_allowed(long count) : before_(thread_starts_left.exchange(count)) {}
  starts_allowed(const starts_allowed&) = delete;
  starts_allowed& operator=(const starts_allowed&) = delete;
  ~starts_allowed() { thread_starts_left.store(before_); }

 private:
  long before_;
};

// No thread, then some of the threads a site wants (and all of those the smaller sites want).
const long start_limits[] = {0, 1, 2};

void* count_up(void* counter) {
  ++*static_cast<int*>(counter);
  return nullptr;
}

TEST(helper_thread, the_work_is_done_once_whether_or_not_a_thread_was_had) {
  for (const long allowed : {-1L, 0L, 1L}) {
    const starts_allowed limit(allowed);
    int ran = 0;
    int started = 0;
    {
      helper_thread run_helper;
      helper_thread start_helper;
      EXPECT_EQ(run_helper.run(count_up, &ran), allowed != 0) << allowed;
      // The second start is refused when only one may succeed; start then runs nothing.
      const bool got = start_helper.start(count_up, &started);
      EXPECT_EQ(got, allowed < 0) << allowed;
      EXPECT_EQ(start_helper.running(), got);
    }  // both joined here
    EXPECT_EQ(ran, 1) << allowed;
    EXPECT_EQ(started, allowed < 0 ? 1 : 0) << allowed;
  }
  EXPECT_EQ(thread_starts_left.load(), -1);
}

// The fill of a large table: each strategy on a thread where one can be had.
TEST(helper_thread, a_large_table_is_built_the_same_without_threads) {
  key_list first_keys;
  for (key k = 1; k <= 50'000; ++k) first_keys.push_back(k * 7919 % 1'000'003);
  const key_list second_keys{5, 70'000, 131'075};
  constexpr std::int32_t table_size = (1 << 16) + 3;
  const layouts expected = build_layouts(table_size, first_keys, second_keys);
  ASSERT_FALSE(expected.allocation_failed);
  for (const long allowed : start_limits) {
    const starts_allowed limit(allowed);
    const layouts built = build_layouts(table_size, first_keys, second_keys);
    EXPECT_EQ(layout_of(built, strategy_id::linear_probing),
              layout_of(expected, strategy_id::linear_probing))
        << allowed;
    EXPECT_EQ(layout_of(built, strategy_id::two_pass_hashing),
              layout_of(expected, strategy_id::two_pass_hashing))
        << allowed;
    EXPECT_EQ(layout_of(built, strategy_id::double_hashing),
              layout_of(expected, strategy_id::double_hashing))
        << allowed;
  }
}

// A long submitted line echoed with its second half formatted on a helper thread.
TEST(helper_thread, a_long_line_prints_the_same_without_a_thread) {
  key_list keys;
  // Just over one segment, so that the helper thread formats the few keys past it.
  for (key k = 0; k < (1 << 20) + 4099; ++k) keys.push_back(k % 1000 == 0 ? 0 : k);
  const std::string expected = written([&](text_out& out) { print_keys(out, keys); });
  for (const long allowed : {0L, 1L}) {
    const starts_allowed limit(allowed);
    EXPECT_EQ(written([&](text_out& out) { print_keys_on_two_threads(out, keys); }), expected)
        << allowed;
  }
  // The report's form of a long list, formatted half on a helper thread, and without one.
  const std::string report_form =
      written([&](text_out& out) { put_keys_separated(out, keys, ','); });
  key_list twice_as_long = keys;
  twice_as_long.insert(twice_as_long.end(), keys.begin(), keys.end());
  for (const long allowed : {0L, 1L}) {
    const starts_allowed limit(allowed);
    std::string text;
    ASSERT_TRUE(append_keys_separated(text, twice_as_long, ','));
    EXPECT_EQ(text, report_form + "," + report_form) << allowed;
  }
}

// A large case's keys are sorted by two threads, each counting and placing half of them: with
// repeated keys (whose positions must stay in order) the order is the one std::sort gives, with
// a thread or without, and for a list too short to be split, over several passes.
TEST(helper_thread, a_large_sort_orders_as_one_thread_does) {
  for (const std::uint32_t count : {(1U << 20) + 77, 700000U}) {
    key_list keys;
    for (std::uint32_t i = 0; i < count; ++i) {
      keys.push_back(static_cast<key>((i * 2654435761U) % 300000007U));
    }
    std::vector<std::uint64_t> expected;
    for (std::uint32_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == 0) continue;
      expected.push_back(std::uint64_t{static_cast<std::uint32_t>(keys[i])} << 32 | i);
    }
    std::sort(expected.begin(), expected.end());
    for (const long allowed : {-1L, 0L, 1L}) {
      const starts_allowed limit(allowed);
      std::vector<std::uint64_t> pairs;
      std::vector<std::uint64_t> spare;
      sort_key_positions(keys, pairs, spare);
      EXPECT_EQ(pairs, expected) << count << ", " << allowed;
    }
  }
}

struct scratch_folder {
  fs::path path = fs::temp_directory_path() / ("thread_start_test_" + std::to_string(::getpid()));
  scratch_folder() {
    fs::remove_all(path);
    fs::create_directories(path / "class");
  }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;
  ~scratch_folder() { fs::remove_all(path); }
  [[nodiscard]] std::string at(const std::string& name) const { return (path / name).string(); }
};

std::string contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The console, then every file the run writes, of one run of the program in this process.
std::string run_of(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& files) {
  std::vector<const char*> argv{"hash_checker"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::FILE* console = std::tmpfile();
  std::FILE* keyboard = std::tmpfile();
  const int status = run_checker(static_cast<int>(argv.size()), argv.data(), console, keyboard);
  std::string seen = "status " + std::to_string(status) + "\n";
  std::fflush(console);
  std::rewind(console);
  for (int c = std::fgetc(console); c != EOF; c = std::fgetc(console)) seen += static_cast<char>(c);
  std::fclose(console);
  std::fclose(keyboard);
  for (const std::string& file : files) seen += "--- " + file + "\n" + contents(file);
  return seen;
}

// A checking run (a large case's tables filled, its layouts written beside the console and its
// lines read ahead), the same diagnosed, and a class run (a signal watch and a pool of workers)
// give the same bytes whatever number of threads can be had.
TEST(helper_thread, whole_runs_write_the_same_without_threads) {
  const scratch_folder scratch;
  std::string input = "2\n65541 0 0\n";
  for (std::int64_t k = 1; k <= 3'000; ++k) input += std::to_string(k * 104'729 % 999'983) + " ";
  input += "\n17 65541\n5 0 0\n5 10 16\n3\n";
  put(scratch.at("input.txt"), input);
  ASSERT_NE(
      run_of({"1", scratch.at("input.txt"), "none", "--answer-file=" + scratch.at("key.txt")}, {}),
      "");
  const std::string key = contents(scratch.at("key.txt"));
  const std::size_t second_line = key.find('\n') + 1;
  const std::string spoiled =
      key.substr(0, second_line) + "1 2 3\n" + key.substr(key.find('\n', second_line) + 1);
  put(scratch.at("output.txt"), spoiled);
  put(scratch.at("class/a.txt"), spoiled);
  put(scratch.at("class/b.txt"), key);
  const std::vector<std::vector<std::string>> runs[] = {
      {{"0", scratch.at("input.txt"), scratch.at("output.txt"),
        "--answer-file=" + scratch.at("answer.txt")},
       {scratch.at("answer.txt")}},
      // Diagnosed, the first case's lines but its last are read while it is built.
      {{"0", scratch.at("input.txt"), scratch.at("output.txt"), "--explain",
        "--json=" + scratch.at("report.json")},
       {scratch.at("report.json")}},
      {{"--gradebook=" + scratch.at("grades.csv"), "--answer-file=" + scratch.at("answer.txt"),
        scratch.at("input.txt"), scratch.at("class")},
       {scratch.at("grades.csv"), scratch.at("answer.txt")}},
  };
  for (const auto& run : runs) {
    const std::string expected = run_of(run[0], run[1]);
    for (const long allowed : start_limits) {
      const starts_allowed limit(allowed);
      EXPECT_EQ(run_of(run[0], run[1]), expected) << run[0][0] << ", threads " << allowed;
    }
  }
}

}  // namespace
