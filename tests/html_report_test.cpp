#include "render/html_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "checker/diagnosis.h"
#include "checker/reveal.h"
#include "render/html_writer.h"
#include "render/json_writer.h"
#include "tests/written_text.h"

namespace {

constexpr char hostile_bytes[] = "<script>alert(\"x\")</script>&'\xff\xc0\xaf\x01\0?";
const std::string hostile(hostile_bytes, sizeof hostile_bytes - 1);

std::string escaped(std::string_view raw) {
  std::string html;
  append_html(html, raw);
  return html;
}

bool valid_utf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8_sequence_length(text.substr(at));
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// The cells of slot rows in `html`: every <td> whose class list holds "slot", and those that
// also hold "diff" (the cells marked as differing).
struct cell_count {
  int slots = 0;
  int marked = 0;
};

cell_count count_cells(const std::string& html) {
  cell_count count;
  const std::string opening = "<td class=\"";
  for (std::size_t at = html.find(opening); at != std::string::npos;
       at = html.find(opening, at + 1)) {
    const std::size_t start = at + opening.size();
    std::string classes = " ";
    classes.append(html, start, html.find('"', start) - start);
    classes += ' ';
    if (classes.find(" slot ") == std::string::npos) continue;
    ++count.slots;
    if (classes.find(" diff ") != std::string::npos) ++count.marked;
  }
  return count;
}

int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

case_result built_case(const key_list& layout) {
  case_result record;
  record.table_size = static_cast<std::int64_t>(layout.size());
  record.size_line = 2;
  record.first_keys = {5, 10};
  record.expected = {layout, layout, layout, false};
  return record;
}

line_result judged(strategy_id strategy, const key_list& expected, key_list submitted) {
  line_result result;
  result.strategy = strategy;
  result.output_line = static_cast<std::int64_t>(strategy) + 1;
  result.judged = submitted == expected ? verdict::right : verdict::wrong;
  result.submitted = std::move(submitted);
  return result;
}

// One judged case: its record and tally as end_case sees them and its three lines.
struct judged_case {
  case_result record;
  std::vector<line_result> lines;
  case_tally tally;
};

judged_case make_case(const key_list& layout, std::vector<key_list> lines,
                      const std::shared_ptr<const diagnosis>& details) {
  judged_case c{built_case(layout), {}, {}};
  for (std::size_t i = 0; i < all_strategies.size(); ++i) {
    c.lines.push_back(judged(all_strategies[i], layout, std::move(lines[i])));
    if (c.lines.back().judged == verdict::wrong) c.lines.back().details = details;
    if (c.lines.back().judged == verdict::right) ++c.tally.right_count;
  }
  c.tally.graded_count = 3;
  return c;
}

std::string page_of(const judged_case& c) {
  return written([&](text_out& out) {
    html_report report(out);
    report.begin_run({"1.1.0", false, "in.txt", "out.txt", ""});
    report.begin_case(c.record);
    for (const line_result& result : c.lines) report.line(c.record, result);
    report.end_case(c.record, c.tally);
    report.end_run({});
  });
}

// A checking run of one case whose three lines are `lines`.
std::string one_case_page(const key_list& layout, std::vector<key_list> lines,
                          const std::shared_ptr<const diagnosis>& details = nullptr) {
  return page_of(make_case(layout, std::move(lines), details));
}

TEST(html_writer, escapes_markup_and_replaces_what_is_not_utf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"./in.txt", "./in.txt"},
      {"<script>", "&lt;script&gt;"},
      {"a&b \"q\" 'p'", "a&amp;b &quot;q&quot; &#39;p&#39;"},
      {"tab\there\nnext", "tab\there\nnext"},
      {std::string("\x01\r\x7f\0", 4), "&#xFFFD;&#xFFFD;&#xFFFD;&#xFFFD;"},
      {"\xc3\xa9 \xe2\x80\xa6 \xf0\x9f\x98\x80", "\xc3\xa9 \xe2\x80\xa6 \xf0\x9f\x98\x80"},
      {"\xff", "&#xFFFD;"},
      {"\xc0\xaf", "&#xFFFD;&#xFFFD;"},              // overlong '/'
      {"\xed\xa0\x80", "&#xFFFD;&#xFFFD;&#xFFFD;"},  // a surrogate
      {"\xe2\x82<", "&#xFFFD;&#xFFFD;&lt;"},         // cut short, then markup
  };
  for (const auto& [raw, html] : cases) EXPECT_EQ(escaped(raw), html) << raw;
}

TEST(html_writer, groups_digits_in_threes) {
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {9999958, "9,999,958"},
      {-1234567, "-1,234,567"},
      {-100, "-100"},
  };
  for (const auto& [value, text] : cases) {
    std::string html;
    append_grouped_number(html, value);
    EXPECT_EQ(html, text);
  }
}

TEST(html_report, hostile_bytes_in_paths_messages_tokens_and_errors_are_escaped) {
  const std::string page = written([](text_out& out) {
    html_report report(out);
    report.begin_run({"1.1.0", false, hostile, hostile, hostile});
    case_result refused;
    refused.state = case_state::refused;
    refused.message = hostile;
    report.begin_case(refused);
    report.end_case(refused, {});
    case_result record = built_case({5, 10});
    report.begin_case(record);
    line_result bad;
    bad.problem = line_problem::bad_token;
    bad.token = hostile;
    bad.fault = token_fault::no_number;
    bad.judged = verdict::wrong;
    bad.details = std::make_shared<diagnosis>();  // shown for compared lines only
    report.line(record, bad);
    line_result wrong = judged(strategy_id::two_pass_hashing, {5, 10}, {10, 5});
    auto d = std::make_shared<diagnosis>();
    d->mistake = mistake_id::lists_swapped;
    d->mistake_text = hostile;
    wrong.details = d;
    report.line(record, wrong);
    report.end_case(record, {});
    run_summary summary;
    summary.status = 255;
    summary.error = hostile;
    report.end_run(summary);
  });
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_EQ(page.find("\"x\""), std::string::npos);
  EXPECT_TRUE(valid_utf8(page));
  EXPECT_EQ(page.find('\0'), std::string::npos);
  // The title, the three paths of the header, the refusal, the output path and the token of the
  // bad-token line, the mistake and the error.
  EXPECT_EQ(occurrences(page, escaped(hostile)), 9);
  EXPECT_EQ(occurrences(page, "<ul class=\"why\">"), 1);
  EXPECT_NE(page.find("failed: " + escaped(hostile)), std::string::npos);
}

TEST(html_report, a_case_opens_when_it_needs_attention_and_folds_otherwise) {
  struct fold_case {
    const char* name;
    case_state state;
    bool answer_only;
    std::vector<verdict> verdicts;
    bool open;
  };
  const fold_case cases[] = {
      {"all right",
       case_state::built,
       false,
       {verdict::right, verdict::right, verdict::right},
       false},
      {"last wrong",
       case_state::built,
       false,
       {verdict::right, verdict::right, verdict::wrong},
       true},
      {"first wrong",
       case_state::built,
       false,
       {verdict::wrong, verdict::right, verdict::right},
       true},
      {"refused", case_state::refused, false, {verdict::none, verdict::none, verdict::none}, true},
      {"not built",
       case_state::not_built,
       false,
       {verdict::none, verdict::none, verdict::none},
       true},
      {"answer-only", case_state::built, true, {}, false},
      {"refused, answer-only", case_state::refused, true, {}, true},
  };
  for (const fold_case& c : cases) {
    const std::string page = written([&](text_out& out) {
      html_report report(out);
      report.begin_run({"1.1.0", c.answer_only, "in", "out", ""});
      case_result record = built_case({5, 10, 0});
      record.state = c.state;
      report.begin_case(record);
      for (std::size_t i = 0; i < c.verdicts.size(); ++i) {
        line_result result = judged(all_strategies[i], {5, 10, 0}, {5, 10, 0});
        result.judged = c.verdicts[i];
        report.line(record, result);
      }
      report.end_case(record, {});
      report.end_run({});
    });
    EXPECT_EQ(occurrences(page, "<details"), 1) << c.name;
    EXPECT_EQ(page.find("\" open id=\"case-0\"") != std::string::npos, c.open) << c.name;
  }
}

TEST(html_report, draws_one_cell_per_slot_and_marks_exactly_the_differing_ones) {
  const key_list layout = {5, 15, 10, 20, 25};
  struct cells_case {
    const char* name;
    key_list submitted;
    int slots;  // over the three strategies, expected and submitted rows
    int marked;
  };
  const cells_case cases[] = {
      {"right", layout, 30, 0},
      {"two swapped", {5, 10, 15, 20, 25}, 30, 2},
      {"one short", {5, 15, 10, 20}, 30, 1},
      {"one too many", {5, 15, 10, 20, 25, 0}, 31, 1},
      {"all empty", {0, 0, 0, 0, 0}, 30, 5},
      {"nothing", {}, 30, 5},
  };
  for (const cells_case& c : cases) {
    const std::string page = one_case_page(layout, {layout, layout, c.submitted});
    const cell_count count = count_cells(page);
    EXPECT_EQ(count.slots, c.slots) << c.name;
    EXPECT_EQ(count.marked, c.marked) << c.name;
  }
}

TEST(html_report, answer_only_draws_expected_rows_at_the_end_of_the_case) {
  const std::string page = written([](text_out& out) {
    html_report report(out);
    report.begin_run({"1.1.0", true, "in", "out", ""});
    case_result record = built_case({1, 2, 0, 4});
    report.begin_case(record);
    report.end_case(record, {});
    report.end_run({});
  });
  EXPECT_EQ(count_cells(page).slots, 12);
  EXPECT_EQ(occurrences(page, ">submitted<"), 0);
}

TEST(html_report, keeps_nothing_of_a_submitted_line_after_it_is_handed_over) {
  const key_list layout = {7, 8, 9};
  const std::string page = written([&](text_out& out) {
    html_report report(out);
    report.begin_run({"1.1.0", false, "in", "out", ""});
    case_result record = built_case(layout);
    report.begin_case(record);
    for (const strategy_id strategy : all_strategies) {
      auto result = std::make_unique<line_result>(judged(strategy, layout, {7, 9, 41}));
      report.line(record, *result);
    }  // each line is gone before end_case
    report.end_case(record, {});
    report.end_run({});
  });
  EXPECT_EQ(occurrences(page, ">41</td>"), 3);
  EXPECT_EQ(count_cells(page).marked, 6);
}

TEST(html_report, numbers_the_probe_path_and_outlines_the_settling_slot) {
  const key_list layout = {22, 1, 0, 0, 0, 16, 5, 33, 27, 44, 0};
  auto d = std::make_shared<diagnosis>();
  d->table_size = 11;
  d->slot_count = 11;
  d->first_wrong_slot = 7;
  d->first_misplaced_key = 33;
  d->insertion_number = 2;
  d->expected_slot = 7;
  d->submitted_slot = 8;
  d->home = 0;
  d->step = 7;
  d->path = {{0, 22}, {7, 0}};
  d->path_length = 2;
  d->settles = 7;
  d->mistake = mistake_id::wrong_strategy;
  d->mistake_text = "The line is the <linear> layout.";
  const std::string page =
      one_case_page(layout, {layout, layout, {22, 1, 0, 0, 0, 16, 5, 27, 33, 44, 0}}, d);
  EXPECT_NE(page.find("<td class=\"slot path\"><sup class=\"step\">1</sup>22</td>"),
            std::string::npos);
  EXPECT_NE(page.find("<td class=\"slot path settle\"><sup class=\"step\">2</sup>33</td>"),
            std::string::npos);
  EXPECT_NE(
      page.find("First misplaced key 33 (inserted 2nd): belongs in slot 7, submitted in slot 8."),
      std::string::npos);
  EXPECT_NE(page.find("Mistake: wrong_strategy — the line is the &lt;linear&gt; layout."),
            std::string::npos);
}

TEST(html_report, a_long_path_numbers_its_kept_tail_by_the_whole_length) {
  key_list layout(64, 0);
  auto d = std::make_shared<diagnosis>();
  d->table_size = 64;
  d->slot_count = 64;
  d->first_misplaced_key = 1;
  for (std::int64_t slot = 0; slot < 20; ++slot) d->path.push_back({slot, 0});
  d->path_length = 40;  // steps 17 to 36 were only counted
  d->settles = 19;
  key_list submitted = layout;
  submitted[3] = 9;
  const std::string page = one_case_page(layout, {layout, layout, submitted}, d);
  EXPECT_NE(page.find("<sup class=\"step\">16</sup>"), std::string::npos);
  EXPECT_EQ(page.find("<sup class=\"step\">17</sup>"), std::string::npos);
  EXPECT_NE(page.find("<sup class=\"step\">37</sup>"), std::string::npos);
  EXPECT_NE(page.find("<sup class=\"step\">40</sup>"), std::string::npos);
  EXPECT_NE(page.find("\xe2\x80\xa6 20 more \xe2\x80\xa6"), std::string::npos);
}

// A 10^7-slot case: the page shows windows only, and costs little time and room.
TEST(html_report, a_ten_million_slot_case_shows_windows_around_the_differences) {
  constexpr std::int64_t size = 10'000'000;
  const std::string dash = "\xe2\x80\x93";
  key_list layout(size);
  for (std::int64_t i = 0; i < size; ++i) layout[static_cast<std::size_t>(i)] = static_cast<key>(i);
  struct window_case {
    std::string name;
    std::function<void(key_list&)> change;
    int slots_per_row;  // cells of the third line's submitted row
    int marked;
    std::string note;
  };
  const window_case cases[] = {
      {"three differences",
       [](key_list& keys) {
         keys[40] = -1;
         keys[5'000'000] = -1;
         keys[size - 1] = -1;
       },
       41 + 41 + 21, 3,
       "9,999,897 slots not shown: 0" + dash + "19, 61" + dash + "4,999,979 and 5,000,021" + dash +
           "9,999,978."},
      {"everything differs", [](key_list& keys) { std::fill(keys.begin(), keys.end(), -1); },
       50 * 21, 50 * 21, "9,998,950 slots not shown: 1,050" + dash + "9,999,999."},
      {"nothing submitted", [](key_list& keys) { keys.clear(); }, 50 * 21, 50 * 21,
       "9,998,950 slots not shown: 1,050" + dash + "9,999,999."},
      {"right", [](key_list& /*keys*/) {}, 100, 0,
       "9,999,900 slots not shown: 100" + dash + "9,999,999."},
  };
  judged_case big = make_case(layout, {layout, layout, layout}, {});
  for (const window_case& c : cases) {
    line_result& third = big.lines[2];
    third.submitted = layout;
    c.change(third.submitted);
    third.judged = third.submitted == layout ? verdict::right : verdict::wrong;
    const std::string page = page_of(big);
    const cell_count count = count_cells(page);
    // The two Right lines show 100 slots in each of their two rows.
    EXPECT_EQ(count.slots, 4 * 100 + 2 * c.slots_per_row) << c.name;
    EXPECT_EQ(count.marked, c.marked) << c.name;
    EXPECT_NE(page.find(c.note), std::string::npos) << c.name;
    EXPECT_LT(page.size(), std::size_t{1} << 20) << c.name;
  }
}

TEST(html_report, submitted_keys_far_beyond_a_small_table_are_windowed_too) {
  const key_list layout = {5, 10, 0};
  key_list submitted = layout;
  submitted.resize(5'000'000, 1);
  const std::string page = one_case_page(layout, {layout, layout, submitted});
  EXPECT_LT(page.size(), std::size_t{1} << 20);
  EXPECT_EQ(count_cells(page).marked, 50 * 21);
}

TEST(html_report, a_start_up_failure_still_gives_a_whole_page_with_the_error) {
  run_summary summary;
  summary.status = 255;
  summary.error = "Input File ./hash_input.txt open failed";
  const std::string page = written([&](text_out& out) {
    html_report report(out);
    report.begin_run({"1.1.0", false, "./hash_input.txt", "./hash_output.txt", ""});
    report.end_run(summary);
  });
  EXPECT_NE(page.find("255 \xe2\x80\x94 failed: Input File ./hash_input.txt open failed"),
            std::string::npos);
  EXPECT_NE(page.find("No case was run."), std::string::npos);
  EXPECT_EQ(occurrences(page, "<details"), 0);
  EXPECT_TRUE(page.ends_with("</html>\n"));
}

TEST(html_report, a_run_that_stops_inside_a_case_still_ends_the_page) {
  const std::string page = written([](text_out& out) {
    html_report report(out);
    report.begin_run({"1.1.0", false, "in", "out", ""});
    case_result record = built_case({1, 0});
    report.begin_case(record);
    report.line(record, judged(strategy_id::linear_probing, {1, 0}, {0, 1}));
    // The run's count of the case's lines, not the report's own.
    run_summary failed;
    failed.unfinished = {1, 2};
    report.end_run(failed);
  });
  EXPECT_NE(page.find("1/2 Right</span>"), std::string::npos);
  EXPECT_EQ(occurrences(page, "<details"), 1);
  EXPECT_EQ(occurrences(page, "</details>"), 1);
  EXPECT_NE(page.find("\" open id=\"case-0\""), std::string::npos);
  EXPECT_TRUE(page.ends_with("</html>\n"));
}

TEST(html_report, says_the_submissions_shape_once) {
  run_summary summary;
  summary.shape = {true, {true, true, 4, 11}, key_separator::tabs, 3};
  const std::string page = written([&](text_out& out) {
    html_report report(out);
    report.begin_run({"1.1.0", false, "in", "out", ""});
    report.end_run(summary);
  });
  for (const char* line : {"Shape: output line 4 looks missing: lines 4 to 11 hold the layouts of "
                           "lines 5 to 12</p>",
                           "Shape: keys are separated by tabs; keys are read between single "
                           "spaces; --separators=any would read the line</p>",
                           "Shape: 3 lines after the last graded line are not graded</p>"}) {
    EXPECT_EQ(occurrences(page, line), 1) << line;
  }
}

TEST(html_report, an_empty_file_is_said_once_instead_of_a_missing_line_each) {
  judged_case c = make_case({0, 0, 0, 0, 0}, {{}, {}, {}}, nullptr);
  for (line_result& result : c.lines) result.problem = line_problem::missing;
  run_summary summary;
  summary.cases = 1;
  summary.all = 3;
  summary.shape.judged = true;
  summary.shape.empty = true;
  const std::string page = written([&](text_out& out) {
    html_report report(out);
    report.begin_run({"1.1.0", false, "in.txt", "<out>.txt", ""});
    report.shape_judged(summary.shape);
    report.begin_case(c.record);
    for (const line_result& result : c.lines) report.line(c.record, result);
    report.end_case(c.record, c.tally);
    report.end_run(summary);
  });
  EXPECT_EQ(occurrences(page, "&lt;out&gt;.txt: the file is empty</p>"), 1);
  EXPECT_EQ(occurrences(page, "<details"), 0);
  EXPECT_EQ(occurrences(page, "missing"), 0);
  EXPECT_TRUE(page.ends_with("</html>\n"));
}

TEST(html_report, states_the_exit_status_in_words) {
  const std::pair<int, std::string> cases[] = {
      {0, "0 \xe2\x80\x94 every case built"},
      {1, "1 \xe2\x80\x94 completed, some cases refused or not built or the input ended early"},
      {3, "3 \xe2\x80\x94 completed with Wrong lines (--fail-on-wrong)"},
      {255, "255 \xe2\x80\x94 failed"},
  };
  for (const auto& [status, words] : cases) {
    run_summary summary;
    summary.status = status;
    const std::string page = written([&](text_out& out) {
      html_report report(out);
      report.end_run(summary);
    });
    EXPECT_NE(page.find(words + "</span>"), std::string::npos) << status;
  }
}

// A page behind the reveal filter, as every report is made: below `all` no way to the class's
// page, an outcome worded for the student instead of the exit status, and a shape that tells
// which lines are right answers only where the level allows it.
TEST(html_report, a_students_page_names_no_class_page_exit_status_or_right_lines) {
  struct level_case {
    reveal_level level;
    bool class_link;
    std::string outcome;  // the fact shown in place of the exit status, or "" for the status
    std::string shift;    // the shape's sentence on the shifted lines, or "" for none
  };
  const level_case cases[] = {
      {reveal_level::all, true, "", "output line 4 looks missing: lines 4 to 11"},
      {reveal_level::diagnosis, false, "1 case could not be checked: case 2 was not built",
       "output line 4 looks missing: lines 4 to 11"},
      {reveal_level::mistake, false, "1 case could not be checked: case 2 was not built",
       "an output line looks missing: the lines after it hold the layouts of the lines below"},
      {reveal_level::verdict, false, "1 case could not be checked: case 2 was not built", ""},
      {reveal_level::score, false, "1 case could not be checked: 1 not built", ""},
  };
  for (const level_case& c : cases) {
    run_summary summary;
    summary.status = 1;
    summary.not_built = 1;
    summary.shape = {true, {true, true, 4, 11}, key_separator::spaces, 0};
    case_result unbuilt;
    unbuilt.number = 2;
    unbuilt.state = case_state::not_built;
    const std::string page = written([&](text_out& out) {
      reveal_filter report(std::make_unique<html_report>(out));
      run_header header{"1.1.0", false, "in", "out", ""};
      header.reveal = c.level;
      header.class_page = "index.html";
      report.begin_run(header);
      report.shape_judged(summary.shape);
      report.begin_case(unbuilt);
      report.end_case(unbuilt, {});
      report.end_run(summary);
    });
    const std::string level(reveal_key(c.level));
    EXPECT_EQ(occurrences(page, "index.html"), c.class_link ? 1 : 0) << level;
    EXPECT_EQ(occurrences(page, "Exit status"), c.outcome.empty() ? 1 : 0) << level;
    if (!c.outcome.empty()) {
      EXPECT_EQ(occurrences(page, c.outcome + "</span>"), 1) << level;
    }
    EXPECT_EQ(occurrences(page, "looks missing"), c.shift.empty() ? 0 : 1) << level;
    if (!c.shift.empty()) {
      EXPECT_EQ(occurrences(page, c.shift), 1) << level;
    }
  }
}

// A student's outcome never reads as success when a case went unchecked, however it went.
TEST(html_report, a_students_outcome_counts_every_unchecked_case) {
  struct outcome_case {
    run_summary summary;
    std::string outcome;
  };
  run_summary ended;
  ended.case_count = 4;
  ended.cases = 2;
  ended.refused = 1;
  ended.ended_early = true;
  run_summary failed;
  failed.error = "Output File o.txt read failed";
  const outcome_case cases[] = {
      {run_summary{}, "All cases checked"},
      {ended, "3 cases could not be checked: 1 refused and 2 missing from the input file"},
      {failed, "The check stopped: Output File o.txt read failed"},
  };
  for (const outcome_case& c : cases) {
    const std::string page = written([&](text_out& out) {
      reveal_filter report(std::make_unique<html_report>(out));
      run_header header{"1.1.0", false, "in", "out", ""};
      header.reveal = reveal_level::verdict;
      report.begin_run(header);
      report.end_run(c.summary);
    });
    EXPECT_EQ(occurrences(page, c.outcome + "</span>"), 1) << c.outcome;
  }
}

}  // namespace
