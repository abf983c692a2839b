// A class in one run: the CSV fields, the class figures, the names of the reports, the folders
// that stand for their files, the command line, and broken files met on the way.
#include "app/gradebook.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/options.h"
#include "checker/gradebook.h"
#include "checker/run.h"
#include "hashing/wrong_variants.h"
#include "render/class_console.h"
#include "render/gradebook_csv.h"
#include "tests/single_calls.h"
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
      {"caf\xc3\xa9;\t", "caf\xc3\xa9;\t"},  // other bytes pass unchanged
      // What a spreadsheet would run as a formula is shown as text.
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"+1", "'+1"},
      {"-2.txt", "'-2.txt"},
      {"-", "-"},
      {"\tx", "'\tx"},
      {"\rx", "\"'\rx\""},
      {"a=b", "a=b"},
      // Each byte that is no part of well-formed UTF-8 becomes U+FFFD.
      {"\xff.txt", "\xef\xbf\xbd.txt"},
      {"\xc3", "\xef\xbf\xbd"},
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},                  // overlong "/"
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // a surrogate
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
  };
  for (const auto& [raw, expected] : cases) {
    const std::string& field = raw;  // a lambda may not capture a structured binding before C++20
    EXPECT_EQ(written([&](text_out& out) { put_csv_field(out, field); }), expected) << field;
  }
}

TEST(gradebook_console, a_path_shows_no_control_byte_raw) {
  const std::pair<std::string, std::string> cases[] = {
      {"class/alice.txt", "class/alice.txt"},
      {"\x1b[2J\x1b]0;pwned\x07", "\\x1b[2J\\x1b]0;pwned\\x07"},
      {"a\rb\nc\td\x7f", "a\\x0db\\x0ac\\x09d\\x7f"},
      {"caf\xc3\xa9 \xff\xc3", "caf\xc3\xa9 \\xff\\xc3"},
  };
  for (const auto& [raw, expected] : cases) EXPECT_EQ(shown_path(raw), expected) << raw;
}

TEST(gradebook_csv, every_row_has_as_many_fields_as_the_header) {
  submission_row graded;
  graded.path = "a,b.txt";
  graded.right = 4;
  graded.all = 6;
  graded.score = 66;
  graded.case_right = {3, -1, 1};
  graded.case_lines_right = {7, 0, 4};
  graded.mistake_lines.assign(mistake_catalogue.size(), 0);
  graded.mistake_lines[static_cast<std::size_t>(mistake_id::no_wrap_around)] = 2;
  graded.mistake_lines[static_cast<std::size_t>(mistake_id::wrong_strategy)] = 1;
  submission_row missing;
  missing.path = "gone.txt";
  missing.state = submission_state::open_failed;
  missing.case_right = {-1, -1, -1};
  EXPECT_EQ(
      written([&](text_out& out) {
        put_csv_header(out, 3);
        put_csv_row(out, graded);
        put_csv_row(out, missing);
      }),
      "submission,right,all,score,state,case_0,case_1,case_2,mistakes,wrong_lines,separators\n"
      "\"a,b.txt\",4,6,66,graded,3,,1,no_wrap_around:2;wrong_strategy:1,"
      "2:linear_probing;2:two_pass_hashing,spaces\n"
      "gone.txt,,,,open failed,,,,,,\n");
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
    std::int64_t mean_all_tenths;  // with the row not graded as 0
    std::int64_t median_tenths;
    std::int64_t lowest;
    std::int64_t highest;
  };
  const figures_case cases[] = {
      {{100}, 1000, 500, 1000, 100, 100}, {{0, 33, 75, 83, 100}, 582, 485, 750, 0, 100},
      {{10, 20}, 150, 100, 150, 10, 20},  // an even count: the mean of the two middle scores
      {{33, 0, 0}, 110, 83, 0, 0, 33},    // 11.0 exactly; 8.25 rounds up
      {{1, 0, 0}, 3, 3, 0, 0, 1},         // 0.333... rounds to 0.3
      {{1, 1, 0}, 7, 5, 10, 0, 1},        // 0.666... rounds to 0.7
      {{50, 51}, 505, 337, 505, 50, 51},
  };
  for (const figures_case& c : cases) {
    std::vector<submission_row> rows;
    for (const std::int64_t score : c.scores) rows.push_back(row_scoring(score));
    rows.push_back(row_scoring(7, submission_state::read_failed));  // counts only as a submission
    // Graded, though not a file of keys: its score counts like any other.
    if (c.scores.front() == 0) rows.front().state = submission_state::empty;
    const class_totals totals = totals_of(rows);
    const std::string shown = ::testing::PrintToString(c.scores);
    EXPECT_EQ(totals.submissions, static_cast<std::int64_t>(c.scores.size() + 1)) << shown;
    EXPECT_EQ(totals.graded, static_cast<std::int64_t>(c.scores.size())) << shown;
    EXPECT_EQ(totals.mean_tenths, c.mean_tenths) << shown;
    EXPECT_EQ(totals.mean_all_tenths, c.mean_all_tenths) << shown;
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

TEST(gradebook_names, a_name_too_long_is_cut_and_marked_with_a_hash) {
  // "a" and then "é" up to 241 bytes, so that a cut may fall inside a character.
  std::string long_base = "a";
  while (long_base.size() < 240) long_base += "\xc3\xa9";
  const std::string other_base = long_base + "b";
  const std::vector<std::string> paths{"x/" + long_base, "y/" + long_base, "z/" + other_base,
                                       "w/" + std::string(236, 'c')};
  const std::vector<std::string> names = report_names_for(paths);
  ASSERT_EQ(names.size(), paths.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_LE(names[i].size(), longest_report_name) << names[i];
    EXPECT_TRUE(names[i].ends_with(".json")) << names[i];
    EXPECT_TRUE(name_was_shortened(paths[i], names[i])) << names[i];
    const std::size_t mark = names[i].rfind('~');
    ASSERT_NE(mark, std::string::npos) << names[i];
    EXPECT_NE(static_cast<unsigned char>(names[i][mark - 1]), 0xc3U) << "a character was cut";
  }
  const auto hash_of = [](const std::string& name) { return name.substr(name.rfind('~'), 17); };
  EXPECT_TRUE(names[1].ends_with("-2.json")) << names[1];  // the same name twice
  EXPECT_EQ(hash_of(names[1]), hash_of(names[0]));
  EXPECT_NE(hash_of(names[2]), hash_of(names[0]));
  EXPECT_EQ(names[3].substr(0, 219), std::string(218, 'c') + "~");
  EXPECT_FALSE(name_was_shortened("a/alice.txt", "alice.txt-2.json"));
  EXPECT_EQ(report_names_for({std::string(235, 'c')})[0], std::string(235, 'c') + ".json");
}

TEST(gradebook_names, pages_are_named_like_reports_and_never_take_the_index) {
  const std::vector<std::string> paths{"a/alice.txt", "b/alice.txt", "index",
                                       "x/index",     "class",       "x/"};
  const std::vector<std::string> expected{"alice.txt.html", "alice.txt-2.html", "index-2.html",
                                          "index-3.html",   "class.html",       "submission.html"};
  EXPECT_EQ(page_names_for(paths), expected);
}

// Each submission as "path (named_as) listed/regular", so one comparison shows a whole listing.
std::vector<std::string> shown(const class_listing& listing, const std::string& prefix) {
  std::vector<std::string> lines;
  const auto cut = [&](const std::string& path) {
    return path.starts_with(prefix) ? path.substr(prefix.size()) : path;
  };
  for (const class_submission& s : listing.submissions) {
    std::string line = cut(s.path);
    if (s.named_as != s.path) line += " (" + cut(s.named_as) + ")";
    if (s.listed) line += s.regular ? " regular" : " unread";
    lines.push_back(line);
  }
  return lines;
}

TEST(gradebook_files, a_folder_stands_for_its_entries_in_byte_order) {
  const scratch_folder scratch;
  const fs::path folder = scratch.path / "late";
  fs::create_directories(folder / "nested");
  fs::create_directories(folder / "alice" / "deeper");
  fs::create_directories(folder / "bob");
  fs::create_directories(folder / "reports");
  fs::create_directories(folder / "two");
  for (const char* name : {"b.txt", "B.txt", "a.txt", "\xc3\xa9.txt", ".hidden", "bob/out.txt",
                           "two/1.txt", "two/2.txt", "in.txt", "old.json"}) {
    std::ofstream(folder / name) << "1\n";
  }
  fs::create_symlink("b.txt", folder / "link.txt");
  fs::create_symlink("nowhere", folder / "dangling.txt");
  fs::create_symlink("bob", folder / "carol");
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  const std::string given = folder.string();
  const std::string missing = (scratch.path / "missing.txt").string();
  const std::vector<own_file> own{{"the input file", given + "/in.txt"},
                                  {"the gradebook", (scratch.path / "absent.csv").string()}};
  const std::vector<report_folder> reports{{given, ".json"}};
  const std::string p = given + "/";
  const class_listing plain = list_submissions({given + "/", missing}, false, own, reports);
  const std::vector<std::string> expected{".hidden regular",
                                          "B.txt regular",
                                          "a.txt regular",
                                          "b.txt regular",
                                          "bob/out.txt (bob) regular",
                                          "carol unread",
                                          "dangling.txt unread",
                                          "link.txt unread",
                                          "pipe unread",
                                          "\xc3\xa9.txt regular",
                                          missing};
  EXPECT_EQ(shown(plain, p), expected);
  const std::vector<std::string> skipped{
      "hash_checker: skipped folder " + p + "alice: its one entry is a folder",
      "hash_checker: left out " + p + "in.txt: it is the input file",
      "hash_checker: skipped folder " + p + "nested: it holds 0 entries, not one file",
      "hash_checker: left out " + p + "old.json: it is a report of this run",
      "hash_checker: skipped folder " + p + "reports: it holds 0 entries, not one file",
      "hash_checker: skipped folder " + p + "two: it holds 2 entries, not one file"};
  EXPECT_EQ(plain.skipped, skipped);
  EXPECT_EQ(plain.skipped_folders, 4);
  EXPECT_EQ(plain.left_out, 2);
  // Followed, a link is what it points to: a file, a per-student folder, or still nothing.
  const class_listing followed = list_submissions({given}, true, {}, {});
  std::vector<std::string> followed_expected{".hidden regular",
                                             "B.txt regular",
                                             "a.txt regular",
                                             "b.txt regular",
                                             "bob/out.txt (bob) regular",
                                             "carol/out.txt (carol) regular",
                                             "dangling.txt unread",
                                             "in.txt regular",
                                             "link.txt regular",
                                             "old.json regular",
                                             "pipe unread",
                                             "\xc3\xa9.txt regular"};
  EXPECT_EQ(shown(followed, p), followed_expected);
  EXPECT_EQ(shown(list_submissions({(scratch.path / "empty").string()}, false, {}, {}), ""),
            std::vector<std::string>{(scratch.path / "empty").string()});
}

// A student's folder of several files stands for the one file a glob or its content picks, or
// for a row saying why none was; what reads as an output is told from code, prose and broken
// files.
TEST(gradebook_files, a_folder_of_several_files_gives_the_one_picked) {
  const scratch_folder scratch;
  const struct {
    const char* name;
    std::string text;
    bool output;
  } files[] = {
      {"out.txt", "3 0 0 10 17 4 24\r\n-5 +7\n\n", true},
      {"slip.txt", "3 0 0 10\n5 l0 15\n5 10 15\n", true},  // a stray letter is still output
      {"hash.cpp", "#include <vector>\nint main() { return 0; }\n", false},
      {"notes.txt", "I did my best\non this one\n", false},
      {"blank.txt", "  \n\n", false},
      {"binary.bin",
       std::string("\x7f"
                   "ELF\x02\x01\x01\0\0",
                   9),
       false},
      {"signs.txt", "1 - 2\n", false},
      {"code.py", "x = [1, 2]\n", false},
      {"long.txt", "1 2\n" + std::string(70000, 'x') + "\n", true},  // the cut line is left out
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(reads_as_output(scratch.file(f.name, f.text), false), f.output);
  }
  EXPECT_FALSE(reads_as_output((scratch.path / "missing.txt").string(), false));
  ASSERT_EQ(::mkfifo((scratch.path / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(reads_as_output((scratch.path / "fifo").string(), false));  // never waits
  fs::create_symlink("out.txt", scratch.path / "link.txt");
  EXPECT_FALSE(reads_as_output((scratch.path / "link.txt").string(), false));
  EXPECT_TRUE(reads_as_output((scratch.path / "link.txt").string(), true));

  const fs::path class_folder = scratch.path / "class";
  const std::pair<const char*, std::vector<std::pair<const char*, std::string>>> folders[] = {
      {"amy", {{"hash.cpp", "int main() {}\n"}, {"output.txt", "1 2 3\n"}}},
      {"bob", {{"a.txt", "1 2\n"}, {"b.txt", "3 4\n"}, {"c.cpp", "{}\n"}}},
      {"cy", {{"only.cpp", "int main() {}\n"}}},
  };
  for (const auto& [folder, entries] : folders) {
    fs::create_directories(class_folder / folder);
    for (const auto& [name, text] : entries) std::ofstream(class_folder / folder / name) << text;
  }
  const std::string p = class_folder.string() + "/";
  const auto notes = [&](const class_listing& listing) {
    std::vector<std::string> lines = shown(listing, p);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (!listing.submissions[i].pick_note.empty()) {
        lines[i] += ": " + listing.submissions[i].pick_note;
      }
    }
    return lines;
  };
  const struct {
    bool on;
    const char* glob;
    std::vector<std::string> listed;
  } cases[] = {
      {true,
       "",
       {"amy/output.txt (amy) regular",
        "bob unread: not graded: 3 files, none picked (use --pick=GLOB)",
        "cy/only.cpp (cy) regular"}},
      {true,
       "*.txt",
       {"amy/output.txt (amy) regular", "bob unread: not graded: 3 files, 2 match --pick=*.txt",
        "cy unread: not graded: 1 file, none matches --pick=*.txt"}},
      {true,
       "b.*",
       {"amy unread: not graded: 2 files, none matches --pick=b.*", "bob/b.txt (bob) regular",
        "cy unread: not graded: 1 file, none matches --pick=b.*"}},
      {false, "", {"cy/only.cpp (cy) regular"}},  // without picking, as it always was
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.glob);
    const folder_picking picking{c.on, c.glob};
    EXPECT_EQ(notes(list_submissions({class_folder.string()}, false, {}, {}, picking)), c.listed);
  }
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
      "--json, --gradescope, --junit, --html, --github-classroom and --prairielearn don't combine "
      "with it";
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
    submission_state content = submission_state::graded;  // what its lines show
  } submissions[] = {
      {scratch.path.string(), submission_state::open_failed,
       "Output File " + scratch.path.string() + " open failed"},
      {"/proc/self/mem", submission_state::read_failed, "Output File /proc/self/mem read failed"},
      {scratch.file("bad.txt", "5 x\n\n"), submission_state::graded, "",
       submission_state::unreadable},
      {scratch.file("one.txt", "x\n5 10 16 3 0\n"), submission_state::graded, ""},
      {scratch.file("empty.txt", ""), submission_state::graded, "", submission_state::empty},
      {scratch.file("blank.txt", " \t\r\n\n"), submission_state::graded, "",
       submission_state::empty},
      {scratch.file("binary.txt", std::string("\x7f"
                                              "ELF\0\x01\n\xff\xfe",
                                              9)),
       submission_state::graded, "", submission_state::unreadable},
      {scratch.file("pasted.txt", ">>>>>>>>>>>>>>>>GROUND TRUTH:\n5 10 16 3 0\n"),
       submission_state::graded, "", submission_state::transcript},
      {scratch.file("tally.txt", "\n[TEST RESULT] Right / All: 3/3:\n"), submission_state::graded,
       "", submission_state::transcript},
  };
  for (const auto& s : submissions) {
    run_request request;
    request.output_path = s.path;
    strategy_tally tally;
    content_watch content;
    const renderer_slot slots[] = {{&tally, ""}, {&content, ""}};
    run_summary summary;
    EXPECT_EQ(grade_submission(request, cases, input, slots, summary), s.state) << s.path;
    if (s.state == submission_state::graded) {
      EXPECT_EQ(content.state(), s.content) << s.path;
      // The shape, judged before any line, must agree, since the HTML report draws from it.
      EXPECT_EQ(summary.shape.empty, s.content == submission_state::empty) << s.path;
    }
    EXPECT_EQ(summary.error, s.error) << s.path;
    const submission_row row = row_of(s.path, s.state, summary, cases, tally);
    const auto graded = static_cast<std::int8_t>(s.state == submission_state::graded ? 0 : -1);
    EXPECT_EQ(row.case_right, std::vector<std::int8_t>{graded}) << s.path;
    EXPECT_EQ(row.all, s.state == submission_state::graded ? 3 : 0) << s.path;
    EXPECT_EQ(tally.lines()[2], s.state == submission_state::graded ? 1 : 0) << s.path;
  }
}

TEST(gradebook_run, a_listed_entry_is_read_only_as_a_regular_file) {
  const scratch_folder scratch;
  const std::string file = scratch.file("a.txt", "5 10 16 3 0\n");
  const fs::path at = scratch.path;
  fs::create_symlink("a.txt", at / "link");
  fs::create_symlink("nowhere", at / "dangling");
  fs::create_symlink("/dev/null", at / "null");
  fs::create_directories(at / "folder");
  ASSERT_EQ(::mkfifo((at / "pipe").c_str(), 0600), 0);  // opened, it would wait for a writer
  const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = (at / "socket").string();
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  socket_path.copy(address.sun_path, socket_path.size());
  ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const struct {
    const char* name;
    submission_state plain;
    submission_state followed;
  } entries[] = {
      {"a.txt", submission_state::graded, submission_state::graded},
      {"link", submission_state::symbolic_link, submission_state::graded},
      {"dangling", submission_state::dangling_link, submission_state::dangling_link},
      {"null", submission_state::symbolic_link, submission_state::device},
      {"pipe", submission_state::fifo, submission_state::fifo},
      {"socket", submission_state::socket, submission_state::socket},
      {"folder", submission_state::open_failed, submission_state::open_failed},
      {"missing", submission_state::open_failed, submission_state::open_failed},
  };
  for (const auto& entry : entries) {
    for (const bool follow : {false, true}) {
      std::FILE* opened = nullptr;
      const submission_state state =
          open_listed_submission((at / entry.name).string(), follow, &opened);
      EXPECT_EQ(state, follow ? entry.followed : entry.plain) << entry.name << " " << follow;
      EXPECT_EQ(opened != nullptr, state == submission_state::graded) << entry.name;
      if (opened != nullptr) std::fclose(opened);
    }
  }
  ::close(listening);
}

}  // namespace

namespace {

// A line of a planted submission: the layout a known mistake gives, another strategy's layout, or
// keys that no mistake gives.
struct planted_line {
  std::size_t case_number;
  strategy_id strategy;
  std::string mistake;  // a catalogue key, or "" for keys no mistake gives
  wrong_build build{};  // for a wrong build's mistake
};

std::string key_line(const key_list& keys) {
  std::string line;
  for (const key k : keys) {
    if (!line.empty()) line += ' ';
    line += std::to_string(k);
  }
  line += '\n';
  return line;
}

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// A class whose Wrong lines were built by the known wrong builders: each mistake is tallied in
// the gradebook row, class.json and the console, and each case and strategy gets its share right.
TEST(gradebook_run, planted_mistakes_are_tallied_everywhere) {
  const scratch_folder scratch;
  struct case_keys {
    std::int32_t size;
    key_list first;
    key_list second;
  };
  const case_keys input_cases[] = {{11, {10, 21, 32, 43, 9, 8}, {20}},
                                   {13, {12, 25, 38, 5, 18, 6}, {31, 44}}};
  std::string input = "2\n";
  std::vector<layouts> built;
  for (const case_keys& c : input_cases) {
    input += std::to_string(c.size) + " 0 0\n" + key_line(c.first) + key_line(c.second);
    built.push_back(build_layouts(c.size, c.first, c.second));
  }
  const std::string input_path = scratch.file("in.txt", input);
  using S = strategy_id;
  using M = mistake_id;
  const struct {
    std::string name;
    std::vector<planted_line> lines;
    std::string mistakes;  // the gradebook's field
  } submissions[] = {
      {"right.txt", {}, ""},
      {"nowrap.txt",
       {{0, S::linear_probing, "no_wrap_around", wrong_build{M::no_wrap_around, 0}},
        {1, S::linear_probing, "no_wrap_around", wrong_build{M::no_wrap_around, 0}}},
       "no_wrap_around:2"},
      {"mixed.txt",
       {{0, S::double_hashing, "step_without_plus_one", wrong_build{M::step_without_plus_one, 0}},
        {1, S::two_pass_hashing, "wrong_strategy"},
        {1, S::linear_probing, "no_wrap_around", wrong_build{M::no_wrap_around, 0}}},
       "no_wrap_around:1;step_without_plus_one:1;wrong_strategy:1"},
      {"unnamed.txt", {{1, S::double_hashing, ""}}, ""},
  };
  std::vector<std::string> arguments{"--gradebook=" + (scratch.path / "g.csv").string(),
                                     "--report-dir=" + (scratch.path / "r").string(),
                                     "--no-answer-file", input_path};
  for (const auto& s : submissions) {
    std::string text;
    for (std::size_t c = 0; c < built.size(); ++c) {
      for (const strategy_id strategy : all_strategies) {
        key_list line = layout_of(built[c], strategy);
        for (const planted_line& p : s.lines) {
          if (p.case_number != c || p.strategy != strategy) continue;
          const case_keys& k = input_cases[c];
          if (p.mistake == "wrong_strategy") {
            line = layout_of(built[c],
                             strategy == S::linear_probing ? S::double_hashing : S::linear_probing);
          } else if (p.mistake.empty()) {
            line = {1, 2, 3};
          } else {
            line = build_variant(p.build, strategy, k.size, k.first, k.second);
          }
          // Planted as meant: Wrong, and not the layout of another mistake tried before it.
          ASSERT_NE(line, layout_of(built[c], strategy)) << s.name << " case " << c;
          for (const strategy_id other : all_strategies) {
            if (p.mistake != "wrong_strategy") {
              ASSERT_NE(line, layout_of(built[c], other));
            }
          }
        }
        text += key_line(line);
      }
    }
    arguments.push_back(scratch.file(s.name, text));
  }
  const command_line cl = parse_command_line(arguments);
  ASSERT_EQ(cl.error, "");
  const std::string console_path = (scratch.path / "console.txt").string();
  std::FILE* console = std::fopen(console_path.c_str(), "w");
  ASSERT_NE(console, nullptr);
  EXPECT_EQ(run_gradebook(cl, console, false), 0);
  std::fclose(console);

  // The gradebook: each row's mistakes in catalogue order, and its Wrong lines.
  const std::string csv = file_text((scratch.path / "g.csv").string());
  for (const auto& s : submissions) {
    std::string wrong;
    for (std::size_t c = 0; c < built.size(); ++c) {
      for (const strategy_id strategy : all_strategies) {
        for (const planted_line& p : s.lines) {
          if (p.case_number != c || p.strategy != strategy) continue;
          if (!wrong.empty()) wrong += ';';
          wrong += std::to_string(c) + ":" + std::string(strategy_key(strategy));
        }
      }
    }
    const std::string ending = "," + s.mistakes + "," + wrong + ",spaces\n";
    const std::size_t row = csv.find((scratch.path / s.name).string() + ",");
    ASSERT_NE(row, std::string::npos) << s.name;
    EXPECT_EQ(csv.substr(csv.find('\n', row) + 1 - ending.size(), ending.size()), ending) << s.name;
  }
  // class.json and the console: per mistake, submissions and lines; per cell, the share right.
  const std::string json = file_text((scratch.path / "r" / "class.json").string());
  const std::string shown = file_text(console_path);
  // `programs`: the submissions whose program's mistake it is. mixed.txt's three mistakes each
  // give one line alone, but the program that makes both of two of them gives two of its lines
  // (no wrap-around changes nothing on its double-hashing line, and no step on its linear one):
  // the pair is its mistake, while each line is named by the mistake alone that gives it.
  const struct {
    std::string id;
    int submissions;
    int lines;
    int programs;
  } tallies[] = {{"wrong_strategy", 1, 1, 0},
                 {"no_wrap_around", 2, 3, 1},
                 {"step_without_plus_one", 1, 1, 0},
                 {"lists_swapped", 0, 0, 0},
                 {"no_wrap_around+step_without_plus_one", 0, 0, 1}};
  for (const auto& t : tallies) {
    EXPECT_NE(json.find("{\"mistake\":\"" + t.id + "\",\"submissions\":" +
                        std::to_string(t.submissions) + ",\"lines\":" + std::to_string(t.lines) +
                        ",\"programs\":" + std::to_string(t.programs) + "}"),
              std::string::npos)
        << t.id;
    const std::string line = std::to_string(t.submissions) + " submission" +
                             (t.submissions == 1 ? "" : "s") + ": " + t.id + " (" +
                             std::to_string(t.lines) + " line" + (t.lines == 1 ? "" : "s") +
                             "; the program's mistake in " + std::to_string(t.programs) +
                             " submission" + (t.programs == 1 ? "" : "s") + ")";
    EXPECT_EQ(shown.find(line) != std::string::npos, t.submissions > 0) << line << "\n" << shown;
  }
  const struct {
    std::size_t case_number;
    std::string strategy;
    int right;
    std::string percent;
  } cells[] = {{0, "linear_probing", 3, "75"},    {0, "double_hashing", 3, "75"},
               {0, "two_pass_hashing", 4, "100"}, {1, "linear_probing", 2, "50"},
               {1, "two_pass_hashing", 3, "75"},  {1, "double_hashing", 3, "75"}};
  for (const auto& c : cells) {
    const std::string cell = "{\"strategy\":\"" + c.strategy +
                             "\",\"right\":" + std::to_string(c.right) +
                             ",\"right_percent\":" + c.percent + "}";
    const std::size_t at = json.find("{\"case\":" + std::to_string(c.case_number) + ",");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(json.find(cell, at), json.find("]}", at)) << cell;
  }
  EXPECT_NE(shown.find("  case 1, linear probing: 50% right (2 of 4)\n"), std::string::npos)
      << shown;
}
