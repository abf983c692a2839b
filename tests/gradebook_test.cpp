// A class in one run: the CSV fields, the class figures, the names of the reports, the folders
// that stand for their files, the command line, and broken files met on the way.
#include "app/gradebook.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/options.h"
#include "checker/gradebook.h"
#include "checker/run.h"
#include "render/gradebook_csv.h"
#include "tests/written_text.h"

namespace fs = std::filesystem;

namespace {

// A folder of its own under the temporary folder, removed again at the end of the test.
struct scratch_folder {
  fs::path path = fs::temp_directory_path() / ("gradebook_test_" + std::to_string(::getpid()));
  scratch_folder() {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;
  ~scratch_folder() { fs::remove_all(path); }
  [[nodiscard]] std::string file(const std::string& name, const std::string& text) const {
    std::ofstream(path / name, std::ios::binary) << text;
    return (path / name).string();
  }
};

TEST(gradebook_csv, fields_are_quoted_only_when_they_must_be) {
  const std::pair<std::string, std::string> cases[] = {
      {"alice.txt", "alice.txt"},
      {"", ""},
      {"two words .txt", "two words .txt"},  // spaces keep their place, unquoted
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {"line\nbreak", "\"line\nbreak\""},
      {"cr\rhere", "\"cr\rhere\""},
      {"caf\xc3\xa9;\t\xff", "caf\xc3\xa9;\t\xff"},  // other bytes pass unchanged
  };
  for (const auto& [raw, expected] : cases) {
    const std::string& field = raw;  // a lambda may not capture a structured binding before C++20
    EXPECT_EQ(written([&](text_out& out) { put_csv_field(out, field); }), expected) << field;
  }
}

TEST(gradebook_csv, every_row_has_as_many_fields_as_the_header) {
  submission_row graded;
  graded.path = "a,b.txt";
  graded.right = 4;
  graded.all = 6;
  graded.score = 66;
  graded.case_right = {3, -1, 1};
  submission_row missing;
  missing.path = "gone.txt";
  missing.state = submission_state::open_failed;
  missing.case_right = {-1, -1, -1};
  EXPECT_EQ(written([&](text_out& out) {
              put_csv_header(out, 3);
              put_csv_row(out, graded);
              put_csv_row(out, missing);
            }),
            "submission,right,all,score,state,case_0,case_1,case_2\n"
            "\"a,b.txt\",4,6,66,graded,3,,1\n"
            "gone.txt,,,,open failed,,,\n");
}

submission_row row_scoring(std::int64_t score, submission_state state = submission_state::graded) {
  submission_row row;
  row.state = state;
  row.score = score;
  row.right = score;
  row.all = 100;
  row.strategy_right = {1, 2, 0};
  row.strategy_lines = {2, 2, 2};
  return row;
}

TEST(gradebook_totals, figures_over_the_graded_rows) {
  struct figures_case {
    std::vector<std::int64_t> scores;
    std::int64_t mean_tenths;
    std::int64_t median_tenths;
    std::int64_t lowest;
    std::int64_t highest;
  };
  const figures_case cases[] = {
      {{100}, 1000, 1000, 100, 100}, {{0, 33, 75, 83, 100}, 582, 750, 0, 100},
      {{10, 20}, 150, 150, 10, 20},  // an even count: the mean of the two middle scores
      {{33, 0, 0}, 110, 0, 0, 33},   // 11.0 exactly
      {{1, 0, 0}, 3, 0, 0, 1},       // 0.333... rounds to 0.3
      {{1, 1, 0}, 7, 10, 0, 1},      // 0.666... rounds to 0.7
      {{50, 51}, 505, 505, 50, 51},
  };
  for (const figures_case& c : cases) {
    std::vector<submission_row> rows;
    for (const std::int64_t score : c.scores) rows.push_back(row_scoring(score));
    rows.push_back(row_scoring(7, submission_state::read_failed));  // counts only as a submission
    const class_totals totals = totals_of(rows);
    const std::string shown = ::testing::PrintToString(c.scores);
    EXPECT_EQ(totals.submissions, static_cast<std::int64_t>(c.scores.size() + 1)) << shown;
    EXPECT_EQ(totals.graded, static_cast<std::int64_t>(c.scores.size())) << shown;
    EXPECT_EQ(totals.mean_tenths, c.mean_tenths) << shown;
    EXPECT_EQ(totals.median_tenths, c.median_tenths) << shown;
    EXPECT_EQ(totals.lowest, c.lowest) << shown;
    EXPECT_EQ(totals.highest, c.highest) << shown;
    EXPECT_EQ(totals.strategy_lines[1], 2 * totals.graded) << shown;
  }
}

TEST(gradebook_totals, scores_fall_into_ten_bands_with_100_in_the_last) {
  std::vector<submission_row> rows;
  for (const std::int64_t score : {0, 9, 10, 19, 89, 90, 99, 100}) {
    rows.push_back(row_scoring(score));
  }
  const class_totals totals = totals_of(rows);
  const std::array<std::int64_t, score_bands> expected{2, 2, 0, 0, 0, 0, 0, 0, 1, 3};
  EXPECT_EQ(totals.bands, expected);
  EXPECT_TRUE(totals.any_wrong);
}

TEST(gradebook_totals, a_class_with_nothing_graded_has_only_zeros) {
  const std::vector<submission_row> rows{row_scoring(0, submission_state::open_failed)};
  const class_totals totals = totals_of(rows);
  EXPECT_EQ(totals.submissions, 1);
  EXPECT_EQ(totals.graded, 0);
  EXPECT_EQ(totals.mean_tenths, 0);
  EXPECT_FALSE(totals.any_wrong);
  EXPECT_EQ(percent_tenths(5, 0), 0);
  EXPECT_EQ(percent_tenths(2, 3), 667);
}

TEST(gradebook_names, reports_are_named_after_the_file_and_never_clash) {
  const std::vector<std::string> paths{
      "a/alice.txt", "b/alice.txt", "alice.txt-2", "c/alice.txt", "class", "x/", ".", "..", "",
      "dir/sub/bob"};
  const std::vector<std::string> expected{
      "alice.txt.json",    "alice.txt-2.json", "alice.txt-2-2.json", "alice.txt-3.json",
      "class-2.json",      "submission.json",  "submission-2.json",  "submission-3.json",
      "submission-4.json", "bob.json"};
  EXPECT_EQ(report_names_for(paths), expected);
}

TEST(gradebook_names, pages_are_named_like_reports_and_never_take_the_index) {
  const std::vector<std::string> paths{"a/alice.txt", "b/alice.txt", "index",
                                       "x/index",     "class",       "x/"};
  const std::vector<std::string> expected{"alice.txt.html", "alice.txt-2.html", "index-2.html",
                                          "index-3.html",   "class.html",       "submission.html"};
  EXPECT_EQ(page_names_for(paths), expected);
}

TEST(gradebook_files, a_folder_stands_for_its_regular_files_in_byte_order) {
  const scratch_folder scratch;
  const fs::path folder = scratch.path / "late";
  fs::create_directories(folder / "nested");
  for (const char* name : {"b.txt", "B.txt", "a.txt", "\xc3\xa9.txt", ".hidden"}) {
    std::ofstream(folder / name) << "1\n";
  }
  fs::create_symlink("b.txt", folder / "link.txt");
  fs::create_symlink("nowhere", folder / "dangling.txt");
  const std::string given = folder.string();
  const std::string missing = (scratch.path / "missing.txt").string();
  const std::vector<std::string> expected{
      given + "/.hidden",  given + "/B.txt",        given + "/a.txt", given + "/b.txt",
      given + "/link.txt", given + "/\xc3\xa9.txt", missing};
  EXPECT_EQ(expand_submissions({given + "/", missing}), expected);
  EXPECT_EQ(expand_submissions({given}),
            std::vector<std::string>(expected.begin(), expected.end() - 1));
  EXPECT_TRUE(expand_submissions({(scratch.path / "empty").string()}).size() == 1);
}

TEST(gradebook_command_line, the_option_switches_the_positional_arguments) {
  struct line_case {
    std::vector<std::string> arguments;
    std::vector<std::string> submissions;
    std::string error;
  };
  const std::string none = "hash_checker: --gradebook needs INPUT and at least one SUBMISSION";
  const std::string reports =
      "hash_checker: --gradebook writes a JSON report per submission with --report-dir=DIR; "
      "--json, --gradescope, --junit and --html don't combine with it";
  const line_case cases[] = {
      {{"--gradebook=g.csv", "in", "a", "b"}, {"a", "b"}, ""},
      {{"in", "--explain", "a", "--gradebook=g.csv", "--report-dir=r"}, {"a"}, ""},
      {{"--gradebook=g.csv", "--", "in", "--a"}, {"--a"}, ""},
      {{"--gradebook=g.csv", "--help"}, {}, ""},  // help needs no class
      {{"--report-dir=r", "--version"}, {}, ""},
      {{"--gradebook=g.csv", "in"}, {}, none},
      {{"--gradebook=g.csv"}, {}, none},
      {{"--gradebook=g.csv", "in", "a", "--json=r.json"}, {}, reports},
      {{"--gradebook=g.csv", "in", "a", "--junit=r.xml"}, {}, reports},
      {{"--gradebook", "in", "a"},
       {},
       "hash_checker: option '--gradebook' needs a path: --gradebook=PATH"},
      {{"--report-dir=r", "0", "in", "out"},
       {},
       "hash_checker: option '--report-dir' needs --gradebook=FILE"},
      {{"--html-dir=p", "0", "in", "out"},
       {},
       "hash_checker: option '--html-dir' needs --gradebook=FILE"},
      {{"--html-dir=p"}, {}, "hash_checker: option '--html-dir' needs --gradebook=FILE"},
      {{"--gradebook=g.csv", "--html-dir", "in", "a"},
       {},
       "hash_checker: option '--html-dir' needs a path: --html-dir=PATH"},
      {{"--gradebook=g.csv", "--html-dir=p", "--report-dir=p", "in", "a"}, {"a"}, ""},
  };
  for (const line_case& c : cases) {
    const command_line cl = parse_command_line(c.arguments);
    const std::string shown = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(cl.error, c.error) << shown;
    if (!c.error.empty() || cl.help || cl.version) continue;
    EXPECT_EQ(cl.request.input_path, "in") << shown;
    EXPECT_EQ(cl.submissions, c.submissions) << shown;
    EXPECT_FALSE(cl.reads_standard_input) << shown;
  }
}

// Reads `input` whole as a class run does; the summary's error, or an empty text.
std::string read_class_input(const std::string& input, std::vector<case_result>& cases,
                             run_summary& summary) {
  run_request request;
  request.answer_only = true;
  request.input_path = input;
  run_files files;
  std::string failure = start_run(request, files);
  if (!failure.empty()) return failure;
  read_all_cases(files, cases, summary);
  return summary.error;
}

TEST(gradebook_run, a_broken_input_is_read_as_far_as_it_goes) {
  const scratch_folder scratch;
  std::vector<case_result> cases;
  run_summary summary;
  const std::string short_input = scratch.file("short.txt", "3\n5 0 0\n5 10\n16\n7 x 0\n1\n2\n");
  EXPECT_EQ(read_class_input(short_input, cases, summary), "");
  ASSERT_EQ(cases.size(), 2U);
  EXPECT_EQ(cases[1].state, case_state::refused);
  EXPECT_TRUE(summary.ended_early && summary.completed);
  EXPECT_EQ(summary.refused, 1);
  cases.clear();
  summary = run_summary{};
  EXPECT_EQ(read_class_input("/proc/self/mem", cases, summary),
            "Input File /proc/self/mem read failed");
}

TEST(gradebook_run, a_submission_that_cant_be_read_is_not_graded) {
  const scratch_folder scratch;
  std::vector<case_result> cases;
  run_summary input;
  ASSERT_EQ(read_class_input(scratch.file("in.txt", "1\n5 0 0\n5 10\n16\n"), cases, input), "");
  const struct {
    std::string path;
    submission_state state;
    std::string error;
  } submissions[] = {
      {scratch.path.string(), submission_state::open_failed,
       "Output File " + scratch.path.string() + " open failed"},
      {"/proc/self/mem", submission_state::read_failed, "Output File /proc/self/mem read failed"},
      {scratch.file("bad.txt", "5 x\n\n"), submission_state::graded, ""},
  };
  for (const auto& s : submissions) {
    run_request request;
    request.output_path = s.path;
    strategy_tally tally;
    const renderer_slot slots[] = {{&tally, ""}};
    run_summary summary;
    EXPECT_EQ(grade_submission(request, cases, input, slots, summary), s.state) << s.path;
    EXPECT_EQ(summary.error, s.error) << s.path;
    const submission_row row = row_of(s.path, s.state, summary, cases, tally);
    const auto graded = static_cast<std::int8_t>(s.state == submission_state::graded ? 0 : -1);
    EXPECT_EQ(row.case_right, std::vector<std::int8_t>{graded}) << s.path;
    EXPECT_EQ(row.all, s.state == submission_state::graded ? 3 : 0) << s.path;
    EXPECT_EQ(tally.lines()[2], s.state == submission_state::graded ? 1 : 0) << s.path;
  }
}

}  // namespace
