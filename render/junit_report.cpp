#include "render/junit_report.h"

#include <array>
#include <charconv>

#include "render/explain_text.h"
#include "render/report_text.h"
#include "render/xml_writer.h"

namespace {

constexpr std::size_t lines_per_case = 3;

std::string case_classname(const case_result& record) {
  return "case " + std::to_string(record.number);
}

std::string skip_reason(const case_result& record) {
  if (record.state == case_state::built) return "answer-only mode";
  if (!record.message.empty()) return record.message;
  return record.state == case_state::refused ? "case refused" : "table could not be built";
}

std::string failure_message(std::string_view output_path, const line_result& result) {
  if (result.problem == line_problem::none) return "submitted layout differs from the expected one";
  return line_problem_message(output_path, result);
}

std::string summary_text(const run_summary& summary) {
  std::string text = "Success/All: " + std::to_string(summary.right) + "/" +
                     std::to_string(summary.all) + "\nScore: " + std::to_string(summary.score) +
                     "\n";
  if (summary.refused > 0) text += "Refused cases: " + std::to_string(summary.refused) + "\n";
  if (summary.not_built > 0) text += "Cases not built: " + std::to_string(summary.not_built) + "\n";
  if (!summary.ended_message.empty()) text += summary.ended_message + "\n";
  return text;
}

// Seconds with three decimals, as JUnit readers take a time.
std::string seconds_text(std::chrono::steady_clock::duration elapsed) {
  std::array<char, 32> digits{};
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), seconds,
                                     std::chars_format::fixed, 3);
  return {digits.data(), written.ptr};
}

void append_property(std::string& xml, std::string_view name, std::string_view value) {
  xml += "      <property";
  append_xml_attribute(xml, "name", name);
  append_xml_attribute(xml, "value", value);
  xml += "/>\n";
}

std::string properties(const run_header& header) {
  std::string xml = "    <properties>\n";
  append_property(xml, "version", header.version);
  append_property(xml, "mode", header.answer_only ? "answer-only" : "checking");
  append_property(xml, "input", header.input);
  append_property(xml, "output", header.output);
  append_property(xml, "answer_file", header.answer_file);
  return xml + "    </properties>\n";
}

}  // namespace

void junit_report::begin_run(const run_header& header) {
  header_ = header;
  policy_ = policy_of(header.reveal);
  run_start_ = std::chrono::steady_clock::now();
  line_start_ = run_start_;
}

void junit_report::begin_case(const case_result& /*record*/) {
  lines_in_case_ = 0;
  line_start_ = std::chrono::steady_clock::now();
}

void junit_report::line(const case_result& record, const line_result& result) {
  if (record.state != case_state::built || result.judged == verdict::none) return;
  if (!policy_.cases) return;
  // A line's time runs from the end of the line before it in its case, or from the case's start.
  const auto now = std::chrono::steady_clock::now();
  add_judged_line(record, result, now - line_start_);
  line_start_ = now;
  ++lines_in_case_;
}

void junit_report::end_case(const case_result& record, const case_tally& /*tally*/) {
  if (!policy_.cases) return;
  for (; lines_in_case_ < lines_per_case; ++lines_in_case_) {
    add_skipped_line(record, all_strategies[lines_in_case_]);
  }
}

void junit_report::end_run(const run_summary& summary) {
  if (!summary.error.empty()) add_error(summary);
  std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites";
  append_xml_attribute(head, "name", "hash_checker");
  head += suite_counts() + ">\n  <testsuite";
  append_xml_attribute(head, "name", "hash_checker");
  head += suite_counts();
  append_xml_attribute(head, "time", seconds_text(std::chrono::steady_clock::now() - run_start_));
  head += ">\n" + properties(header_);
  put_text(out_, head);
  put_text(out_, testcases_);
  std::string tail = "    <system-out>";
  append_xml_text(tail, summary_text(summary));
  tail += "</system-out>\n  </testsuite>\n</testsuites>\n";
  put_text(out_, tail);
}

void junit_report::open_testcase(std::string_view classname, std::string_view name,
                                 std::chrono::steady_clock::duration elapsed) {
  testcases_ += "    <testcase";
  append_xml_attribute(testcases_, "classname", classname);
  append_xml_attribute(testcases_, "name", name);
  append_xml_attribute(testcases_, "time", seconds_text(elapsed));
  ++tests_;
}

void junit_report::add_judged_line(const case_result& record, const line_result& result,
                                   std::chrono::steady_clock::duration elapsed) {
  open_testcase(case_classname(record), strategy_title(result.strategy), elapsed);
  if (result.judged == verdict::right) {
    testcases_ += "/>\n";
    return;
  }
  testcases_ += ">\n      <failure";
  append_xml_attribute(testcases_, "message",
                       policy_.submitted ? failure_message(header_.output, result) : "Wrong");
  append_xml_attribute(testcases_, "type", "wrong");
  testcases_ += ">";
  std::string text;
  if (policy_.answer) {
    append_expected_and_submitted(text, layout_of(record.expected, result.strategy), header_.output,
                                  result);
  } else if (policy_.submitted) {
    append_submitted(text, header_.output, result);
  }
  // The filter has already taken from the diagnosis what the level hides.
  if (policy_.diagnosis && result.details) text += explain_lines(*result.details);
  append_xml_text(testcases_, text);
  testcases_ += "</failure>\n    </testcase>\n";
  ++failures_;
}

void junit_report::add_skipped_line(const case_result& record, strategy_id strategy) {
  open_testcase(case_classname(record), strategy_title(strategy), {});
  testcases_ += ">\n      <skipped";
  append_xml_attribute(testcases_, "message", skip_reason(record));
  testcases_ += "/>\n    </testcase>\n";
  ++skipped_;
}

void junit_report::add_error(const run_summary& summary) {
  open_testcase("hash_checker", "run", {});
  testcases_ += ">\n      <error";
  append_xml_attribute(testcases_, "message", summary.error);
  testcases_ += ">";
  append_xml_text(testcases_, summary.error);
  testcases_ += "</error>\n    </testcase>\n";
  ++errors_;
}

std::string junit_report::suite_counts() const {
  std::string xml;
  append_xml_attribute(xml, "tests", tests_);
  append_xml_attribute(xml, "failures", failures_);
  append_xml_attribute(xml, "errors", errors_);
  append_xml_attribute(xml, "skipped", skipped_);
  return xml;
}
