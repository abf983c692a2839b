#include "render/junit_report.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

#include "render/explain_text.h"
#include "render/report_text.h"
#include "render/xml_writer.h"

namespace {

constexpr std::size_t lines_per_case = strategy_count;

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

// Seconds with three decimals, as JUnit readers take a time. Whole milliseconds in integers:
// not every standard library we build with formats a double through to_chars.
std::string seconds_text(std::chrono::steady_clock::duration elapsed) {
  const auto milliseconds = std::max<std::int64_t>(
      0, std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  std::string fraction = std::to_string(milliseconds % 1000);
  fraction.insert(0, 3 - fraction.size(), '0');
  return std::to_string(milliseconds / 1000) + "." + fraction;
}

void put_property(xml_element& properties, std::string_view name, std::string_view value) {
  xml_element property(properties, "property");
  property.attribute("name", name);
  property.attribute("value", value);
}

void put_properties(xml_element& suite, const run_header& header) {
  xml_element properties(suite, "properties");
  put_property(properties, "version", header.version);
  put_property(properties, "mode", header.answer_only ? "answer-only" : "checking");
  put_property(properties, "input", header.input);
  put_property(properties, "output", header.output);
  put_property(properties, "answer_file", header.answer_file);
}

// The testcases are gathered apart, a level below the suite, for their counts go on its tag.
constexpr std::size_t testcase_depth = 2;

}  // namespace

void junit_report::begin_run(const run_header& header) {
  header_ = header;
  run_start_ = std::chrono::steady_clock::now();
  line_start_ = run_start_;
}

void junit_report::begin_case(const case_result& /*record*/) {
  lines_in_case_ = 0;
  line_start_ = std::chrono::steady_clock::now();
}

void junit_report::line(const case_result& record, const line_result& result) {
  if (record.state != case_state::built || result.judged == verdict::none) return;
  // A line's time runs from the end of the line before it in its case, or from the case's start.
  const auto now = std::chrono::steady_clock::now();
  add_judged_line(record, result, now - line_start_);
  line_start_ = now;
  ++lines_in_case_;
}

void junit_report::end_case(const case_result& record, const case_tally& /*tally*/) {
  for (; lines_in_case_ < lines_per_case; ++lines_in_case_) {
    add_skipped_line(record, all_strategies[lines_in_case_]);
  }
}

void junit_report::end_run(const run_summary& summary) {
  if (!summary.error.empty()) add_error(summary);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  {
    xml_element suites(xml, "testsuites");
    suites.attribute("name", "hash_checker");
    put_suite_counts(suites);
    xml_element suite(suites, "testsuite");
    suite.attribute("name", "hash_checker");
    put_suite_counts(suite);
    suite.attribute("time", seconds_text(std::chrono::steady_clock::now() - run_start_));
    put_properties(suite, header_);
    put_text(out_, xml);
    xml.clear();
    put_text(out_, testcases_);
    xml_element system_out(suite, "system-out");
    system_out.text(summary_text(summary));
  }
  put_text(out_, xml);
}

void junit_report::name_testcase(xml_element& testcase, std::string_view classname,
                                 std::string_view name,
                                 std::chrono::steady_clock::duration elapsed) {
  testcase.attribute("classname", classname);
  testcase.attribute("name", name);
  testcase.attribute("time", seconds_text(elapsed));
  ++tests_;
}

void junit_report::add_judged_line(const case_result& record, const line_result& result,
                                   std::chrono::steady_clock::duration elapsed) {
  xml_element testcase(testcases_, "testcase", testcase_depth);
  name_testcase(testcase, case_classname(record), strategy_title(result.strategy), elapsed);
  if (result.judged == verdict::right) return;
  xml_element failure(testcase, "failure");
  failure.attribute("message",
                    result.submission_withheld ? "Wrong" : failure_message(header_.output, result));
  failure.attribute("type", "wrong");
  std::string text;
  if (!result.submission_withheld && record.answer_withheld) {
    append_submitted(text, header_.output, result);
  } else if (!result.submission_withheld) {
    append_expected_and_submitted(text, layout_of(record.expected, result.strategy), header_.output,
                                  result);
  }
  if (result.details) text += explain_lines(*result.details);
  failure.text(text);
  ++failures_;
}

void junit_report::add_skipped_line(const case_result& record, strategy_id strategy) {
  xml_element testcase(testcases_, "testcase", testcase_depth);
  name_testcase(testcase, case_classname(record), strategy_title(strategy), {});
  xml_element skipped(testcase, "skipped");
  skipped.attribute("message", skip_reason(record));
  ++skipped_;
}

void junit_report::add_error(const run_summary& summary) {
  xml_element testcase(testcases_, "testcase", testcase_depth);
  name_testcase(testcase, "hash_checker", "run", {});
  xml_element error(testcase, "error");
  error.attribute("message", summary.error);
  error.text(summary.error);
  ++errors_;
}

void junit_report::put_suite_counts(xml_element& suite) const {
  suite.attribute("tests", tests_);
  suite.attribute("failures", failures_);
  suite.attribute("errors", errors_);
  suite.attribute("skipped", skipped_);
}
