// JUnit XML as GitLab, Jenkins and Azure Pipelines read it: one testsuite "hash_checker" with one
// testcase per strategy line, classname "case N" (counting from 0, as the console does). A Wrong
// line is a failure, and the three lines of a refused or unbuilt case are skipped with the
// case's message; in answer-only mode, where nothing is judged, every line is skipped with the
// message "answer-only mode". A run that stopped on an error (a start-up failure, say) gets one
// more testcase, classname "hash_checker" and name "run", holding an <error>. What the reveal
// filter withheld (checker/reveal.h) is left out: a failure's expected layout, its submitted line
// and problem; with no case at all the summary alone holds the totals. A failure's text ends with
// the line's explanation as --explain gives it, as much of it as the diagnosis holds. The
// testsuite's `time` is the run's, in seconds; a judged line's is the time since the line before it
// in its case (or since the case began); skipped lines and the error take 0.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "checker/results.h"
#include "render/text_out.h"
#include "render/xml_writer.h"

/// Writes to `out` at end_run alone, since the counts go on the opening tags; until then the
/// testcases wait in memory: under a hundred bytes per line judged Right, a few kilobytes plus the
/// paths per other line (layouts show at most `shown_keys` keys, see render/report_text.h). The
/// caller opens `out`, keeps it alive past end_run and commits it. Any bytes in paths, messages and
/// tokens still give a well-formed document.
class junit_report final : public result_renderer {
 public:
  explicit junit_report(text_out& out) : out_(out) {}

  void begin_run(const run_header& header) override;
  void begin_case(const case_result& record) override;
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  void end_run(const run_summary& summary) override;
  [[nodiscard]] bool ok() const override { return !out_.failed; }

 private:
  void name_testcase(xml_element& testcase, std::string_view classname, std::string_view name,
                     std::chrono::steady_clock::duration elapsed);
  void add_judged_line(const case_result& record, const line_result& result,
                       std::chrono::steady_clock::duration elapsed);
  void add_skipped_line(const case_result& record, strategy_id strategy);
  void add_error(const run_summary& summary);
  void put_suite_counts(xml_element& suite) const;

  text_out& out_;
  run_header header_;
  std::string testcases_;  // escaped XML of every testcase so far
  std::int64_t tests_ = 0;
  std::int64_t failures_ = 0;
  std::int64_t errors_ = 0;
  std::int64_t skipped_ = 0;
  std::size_t lines_in_case_ = 0;
  std::chrono::steady_clock::time_point run_start_;
  std::chrono::steady_clock::time_point line_start_;
};
