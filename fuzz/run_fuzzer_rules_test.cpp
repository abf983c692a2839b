// Shows that the run fuzzer catches a faulty checker: a fake run_checker, linked in place of the
// real one, breaks one rule per row, and the fuzz target must abort naming that rule.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "checker/run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// What the fake does on every call: its status, the answer file it writes (none when null) and the
// summary it prints after the summary heading (none when null).
struct fake_checker {
  int status = 0;
  const char* answer = nullptr;
  const char* summary = nullptr;
};

fake_checker fake;

// A one-case run that keeps every rule: one key, home slot 2 of 3 in each table, graded right.
constexpr fake_checker consistent = {0, "0 0 8\n0 0 8\n0 0 8\n", "3/3:\nScore: 100:\n"};

int fuzz_answer_only(const std::string& input) {
  const std::string bytes = "1" + input;
  return LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

// Being defined here, run_checker is never taken from the checker library, whose run.cpp object
// nothing else the test links refers to.
int run_checker(int, const char* const*, std::FILE* console, std::FILE*) {
  if (fake.answer != nullptr) {
    std::FILE* answer_file = std::fopen("hash_answer.txt", "wb");
    std::fputs(fake.answer, answer_file);
    std::fclose(answer_file);
  }
  if (fake.summary != nullptr) {
    std::fputs(">>>>>>>>>>>>>>>>Summary\nSuccess/All: ", console);
    std::fputs(fake.summary, console);
  }
  return fake.status;
}

namespace {

TEST(run_fuzzer, passes_a_checker_that_keeps_every_rule) {
  fake = consistent;
  EXPECT_EQ(fuzz_answer_only("1\n"), 0);
}

struct faulty_run {
  const char* input;
  fake_checker fake;
  const char* rule;
};

TEST(run_fuzzer, aborts_naming_the_rule_a_faulty_checker_breaks) {
  const char* graded_right = consistent.summary;
  const faulty_run rows[] = {
      {"1\n", {2, "\n\n\n", graded_right}, "the status is 0, 1 or -1"},
      {"1\n", {-1, nullptr, nullptr}, "the status is -1 exactly when line 1 holds no count"},
      {"x\n", {-1, "", nullptr}, "an answer file is written exactly when line 1 holds a count"},
      {"1\n", {0, "0 0\n0 0\n", graded_right}, "three answer lines a case"},
      {"2\n", {0, "\n\n\n", graded_right}, "three answer lines a case"},
      {"1\n", {0, "x\n\n\n", graded_right}, "every answer line reads as keys"},
      {"1\n", {0, "0 0\n0\n0 0\n", graded_right}, "a case's layouts have one size"},
      {"1\n", {0, "0 -1 0\n0 -1 0\n0 -1 0\n", graded_right}, "no layout holds a key below 0"},
      {"1\n", {0, "7 7 0\n7 7 0\n7 7 0\n", graded_right}, "no layout holds a key twice"},
      {"1\n",
       {0, "0 0 0 1 0 0 0\n0 0 0 1 0 0 0\n0 0 0 1 0 0 0\n", graded_right},
       "every slot a key's scan passes is filled"},
      {"1\n",
       {0, "0 8 0 0 0 0 0\n0 8 0 0 0 0 0\n0 0 0 0 0 8 0\n", graded_right},
       "a probe passed by a key is filled"},
      {"1\n", {0, "0 3\n0 3\n0 3\n", graded_right}, "double hashing stores no key in a table of 2"},
      {"1\n", {0, "0 0 8\n0 0 8\n0 0 0\n", graded_right}, "a case's layouts hold as many keys"},
      {"1\n",
       {0, "0 0 8\n0 0 8\n0 0 5\n", graded_right},
       "layouts with an empty slot hold the same keys"},
      {"1\n", {0, "\n\n\n", nullptr}, "grading ends with a summary"},
      {"1\n", {0, "\n\n\n", "2/3:\nScore: 66:\n"}, "every line of the answer file is graded right"},
      {"1\n", {0, "\n\n\n", "0/0:\nScore: 0:\n"}, "every case of the answer file is graded or"},
      {"1\n", {0, "\n\n\n", "0/0:\nScore: 0:\nRefused cases: 1\n"}, "status 0 means no case"},
  };
  // Makes the private folder in this process, so the aborting children leave none behind.
  fake = consistent;
  ASSERT_EQ(fuzz_answer_only("1\n"), 0);
  for (const faulty_run& row : rows) {
    fake = row.fake;
    EXPECT_DEATH(fuzz_answer_only(row.input), row.rule) << row.rule;
  }
}

}  // namespace
