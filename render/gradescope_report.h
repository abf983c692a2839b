// Gradescope's autograder results.json: one test per case, scored by its lines judged right, and
// the run's score and summary at the top level. Tests are streamed as cases end; a case's text
// shows at most `shown_keys` keys of each layout (see render/report_text.h), so memory stays
// bounded by a few kilobytes per case whatever the table size.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "checker/results.h"
#include "render/json_writer.h"
#include "render/text_out.h"

/// Writes to `out`, which the caller opens, keeps alive past end_run and commits. A test's
/// max_score is the number of its lines that were graded: 3 for a graded case, 0 for a refused
/// or unbuilt case and in answer-only mode, so that the tests add up to the top-level score and
/// max_score (the run's right and all). A test passes when its case was built and every graded
/// line is right. Cases are named as the console names them, counting from 0. A test's output is
/// plain text (output_format "text"): each graded line's verdict, expected and submitted keys and,
/// under a Wrong line, its explanation as --explain gives it. What the reveal filter withheld
/// (checker/reveal.h) is left out: the expected layout, the submitted line, the explanation's
/// details; with no case at all there are no tests, the top-level score and output alone. A second
/// end_run writes nothing.
class gradescope_report final : public result_renderer {
 public:
  /// `visibility` is each test's: "visible", "hidden", "after_due_date" or "after_published".
  explicit gradescope_report(text_out& out, std::string_view visibility = "visible")
      : out_(out), visibility_(visibility) {}

  void begin_run(const run_header& header) override;
  void begin_case(const case_result& record) override;
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  void end_run(const run_summary& summary) override;
  [[nodiscard]] bool ok() const override { return !out_.failed; }

 private:
  void put_test(const case_result& record, const case_tally& tally);

  text_out& out_;
  std::string visibility_;
  std::string output_path_;
  bool answer_only_ = false;
  bool run_begun_ = false;
  std::string case_text_;  // the open case's account, gathered line by line
  // The scopes open between events, outermost first; each closes itself when reset.
  std::optional<json_object> document_;
  std::optional<json_array> tests_;
};
