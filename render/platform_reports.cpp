#include "render/platform_reports.h"

#include <numeric>

#include "render/explain_text.h"
#include "render/json_writer.h"
#include "render/lms_csv.h"
#include "render/report_text.h"

namespace {

std::string case_name(const case_account& account) {
  return "Case " + std::to_string(account.number) + ": table size " +
         std::to_string(account.table_size);
}

// A record holds its case's expected layouts only when the reader may see them.
bool holds_expected(const case_result& record, strategy_id strategy) {
  return record.state == case_state::built &&
         static_cast<std::int64_t>(layout_of(record.expected, strategy).size()) ==
             record.table_size;
}

bool holds_submitted(const line_result& result) {
  return result.problem != line_problem::none || !result.submitted.empty() ||
         result.truncated_keys > 0;
}

// A Wrong line's account on one line: the expected and submitted keys the records hold, then
// the sentences of its explanation, joined by "; ".
std::string one_line(const case_result& record, const line_result& result,
                     std::string_view output_path) {
  std::string said;
  if (holds_expected(record, result.strategy)) {
    said = "expected ";
    append_capped_keys(said, layout_of(record.expected, result.strategy));
  }
  if (holds_submitted(result)) {
    if (!said.empty()) said += "; ";
    if (result.problem == line_problem::none) {
      said += "submitted ";
      append_capped_keys(said, result.submitted);
    } else {
      said += line_problem_message(output_path, result);
    }
  }
  if (!result.details) return said;
  for (const sentence& s : diagnosis_sentences(*result.details)) {
    if (!said.empty()) said += "; ";
    said += plain_sentence(s);
  }
  return said;
}

std::string unbuilt_text(const case_result& record) {
  if (!record.message.empty()) return record.message + "\n";
  return record.state == case_state::refused ? "case refused\n" : "table could not be built\n";
}

std::string totals_text(const run_summary& summary) {
  std::string text = "Right lines: " + std::to_string(summary.right) + " of " +
                     std::to_string(summary.all) + ", score " + std::to_string(summary.score);
  if (summary.refused > 0) text += "; refused cases: " + std::to_string(summary.refused);
  if (summary.not_built > 0) text += "; cases not built: " + std::to_string(summary.not_built);
  return text;
}

// The run's summary in lines: the totals, then what ended it early or failed.
std::string summary_text(const run_summary& summary, const std::vector<std::string>& shape) {
  std::string text = totals_text(summary) + "\n";
  for (const std::string& line : shape) text += "Shape: " + line + "\n";
  if (!summary.ended_message.empty()) text += summary.ended_message + "\n";
  if (!summary.error.empty()) text += summary.error + "\n";
  return text;
}

// A number of hundredths as a JSON member.
void put_hundredths(json_object& object, std::string_view name, std::int64_t hundredths) {
  put_text(object.member(name), grade_text(hundredths));
}

constexpr json_layout test_per_line{.before_element = "\n", .before_end = "\n"};

}  // namespace

std::vector<case_points> spread_points(const std::vector<case_account>& cases,
                                       std::int64_t points_hundredths) {
  std::vector<case_points> points;
  points.reserve(cases.size());
  const std::int64_t lines = std::accumulate(
      cases.begin(), cases.end(), std::int64_t{0},
      [](std::int64_t sum, const case_account& account) { return sum + account.graded; });
  std::int64_t before = 0;  // graded lines of the earlier cases
  // The running total's hundredths after `n` lines; whole lines when no points are given.
  const auto at = [&](std::int64_t n) {
    if (points_hundredths == 0) return n * 100;
    return lines == 0 ? 0 : n * points_hundredths / lines;
  };
  for (const case_account& account : cases) {
    points.push_back(
        {at(before + account.right) - at(before), at(before + account.graded) - at(before)});
    before += account.graded;
  }
  return points;
}

void case_accounts::begin_run(const run_header& header) { header_ = header; }

void case_accounts::shape_judged(const submission_shape& shape) { shape_ = shape_lines(shape); }

void case_accounts::begin_case(const case_result& record) {
  open_ = case_account{};
  open_.number = record.number;
  open_.table_size = record.table_size;
  open_.built = record.state == case_state::built;
}

void case_accounts::line(const case_result& record, const line_result& result) {
  if (open_.first_output_line == 0) open_.first_output_line = result.output_line;
  if (record.state != case_state::built || result.judged == verdict::none) return;
  std::string text(strategy_title(result.strategy));
  text += ": ";
  text += verdict_text(result.judged);
  text += '\n';
  if (holds_expected(record, result.strategy)) {
    append_expected_and_submitted(text, layout_of(record.expected, result.strategy), header_.output,
                                  result);
  } else if (holds_submitted(result)) {
    append_submitted(text, header_.output, result);
  }
  if (result.judged == verdict::wrong) {
    if (result.details) text += explain_lines(*result.details);
    std::string said = std::string(strategy_title(result.strategy)) + ", output line " +
                       std::to_string(result.output_line) + ": Wrong";
    const std::string why = one_line(record, result, header_.output);
    if (!why.empty()) said += ": " + why;
    wrong_line(open_, said);
  }
  open_.text += text;
}

void case_accounts::end_case(const case_result& record, const case_tally& tally) {
  open_.right = tally.right_count;
  open_.graded = tally.graded_count;
  if (record.state != case_state::built) open_.text = unbuilt_text(record);
  if (text_bytes_ + open_.text.size() > text_budget) {
    open_.text = "(left out: the report keeps its accounts under 512 KB)\n";
  }
  text_bytes_ += open_.text.size();
  cases_.push_back(std::move(open_));
  open_ = case_account{};
}

void case_accounts::end_run(const run_summary& summary) {
  if (ended_) return;
  ended_ = true;
  finish(summary);
}

void github_classroom_report::finish(const run_summary& summary) {
  const std::vector<case_points> points = spread_points(cases_, points_hundredths_);
  json_object document(out_);
  document.number("version", 1);
  const bool passed = summary.error.empty() && summary.all > 0 && summary.right == summary.all;
  document.string("status", !summary.error.empty() ? "error" : passed ? "pass" : "fail");
  put_hundredths(document, "max_score",
                 points_hundredths_ == 0 ? summary.all * 100 : points_hundredths_);
  {
    json_array tests(document, "tests", test_per_line);
    for (std::size_t i = 0; i < cases_.size(); ++i) {
      const case_account& account = cases_[i];
      json_object test(tests);
      test.string("name", case_name(account));
      const bool pass = account.built && account.graded > 0 && account.right == account.graded;
      test.string("status", !account.built ? "error" : pass ? "pass" : "fail");
      put_hundredths(test, "score", points[i].score);
      test.string("message", account.text);
      test.string("test_code", "case " + std::to_string(account.number));
      test.string("filename", header_.output);
      test.number("line_no", account.first_output_line);
      test.number("duration", 0);
    }
  }
  document.break_line();
  document.string("message", summary_text(summary, shape_));
  document.close();
  put_text(out_, "\n");
}

void prairielearn_report::finish(const run_summary& summary) {
  const std::vector<case_points> points = spread_points(cases_, points_hundredths_);
  json_object document(out_);
  document.boolean("gradable", summary.error.empty());
  // Right lines over graded lines, in ten-thousandths, rounded to nearest.
  const std::int64_t share =
      summary.all == 0 ? 0 : (summary.right * 10000 + summary.all / 2) / summary.all;
  std::string score = share == 10000 ? "1" : "0";
  if (share != 10000 && share != 0) {
    std::string digits = std::to_string(10000 + share).substr(1);
    while (digits.back() == '0') digits.pop_back();
    score += "." + digits;
  }
  put_text(document.member("score"), score);
  document.string("message", summary.error.empty() ? totals_text(summary) : summary.error);
  document.string("output", summary_text(summary, shape_));
  {
    json_array tests(document, "tests", test_per_line);
    for (std::size_t i = 0; i < cases_.size(); ++i) {
      const case_account& account = cases_[i];
      json_object test(tests);
      test.string("name", case_name(account));
      test.string("description", "the three layouts of case " + std::to_string(account.number));
      put_hundredths(test, "points", points[i].score);
      put_hundredths(test, "max_points", points[i].most);
      test.string("message", !account.built ? "not built"
                             : account.graded == 0
                                 ? ""
                                 : std::to_string(account.right) + " of " +
                                       std::to_string(account.graded) + " lines right");
      test.string("output", account.text);
    }
  }
  document.close();
  put_text(out_, "\n");
}

void vpl_console::comment(std::string_view text) {
  std::string line = "Comment :=>>";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      constexpr char hex[] = "0123456789abcdef";
      line += "\\x";
      line += hex[byte >> 4];
      line += hex[byte & 15];
    } else {
      line += c;
    }
  }
  put_text(out_, line + "\n");
}

void vpl_console::wrong_line(const case_account& account, std::string_view said) {
  comment("Case " + std::to_string(account.number) + ", " + std::string(said));
}

void vpl_console::shape_judged(const submission_shape& shape) {
  for (const std::string& line : shape_lines(shape)) comment("Shape: " + line);
}

void vpl_console::end_case(const case_result& record, const case_tally& tally) {
  if (record.state != case_state::built) {
    std::string text = unbuilt_text(record);
    text.pop_back();
    comment("Case " + std::to_string(record.number) + ": " + text);
  }
  case_accounts::end_case(record, tally);
  cases_.clear();  // each Wrong line is written as it comes: nothing is kept
}

void vpl_console::finish(const run_summary& summary) {
  if (!summary.ended_message.empty()) comment(summary.ended_message);
  if (!summary.error.empty()) comment(summary.error);
  comment(totals_text(summary));
  const std::int64_t grade = (summary.score * points_hundredths_ + 50) / 100;
  put_text(out_, "Grade :=>> " + grade_text(grade) + "\n");
}
