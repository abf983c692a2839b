// What GitHub Classroom, PrairieLearn and Moodle's VPL read from a grader: a test per case with its
// score and its account in words, and VPL's comment and grade lines. Each renders what the records
// it is handed hold: the reveal filter in front of it has already taken out what a level hides, so
// an expected layout, a submitted line or an explanation appears exactly when the record has it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checker/results.h"
#include "render/text_out.h"

/// The account of one case, gathered as its lines are graded.
struct case_account {
  std::int64_t number = 0;
  std::int64_t table_size = 0;
  std::int64_t first_output_line = 0;  // of its lines; 0 when none was read
  bool built = true;
  std::int64_t right = 0;
  std::int64_t graded = 0;
  std::string text;  // a graded line's verdict a line, each followed by what it shows, indented
};

/// Points for each case from its lines: with `points_hundredths` 0, a case's most is its graded
/// lines and its score its right lines; otherwise the points are spread over every graded line of
/// the run, rounded down where the running total crosses a hundredth, so that the cases' most
/// add up to the points exactly. In hundredths.
struct case_points {
  std::int64_t score = 0;
  std::int64_t most = 0;
};
std::vector<case_points> spread_points(const std::vector<case_account>& cases,
                                       std::int64_t points_hundredths);

/// Gathers every case's account; the reports below write them at the end of the run, when the
/// run's totals are known, to `out` in points of `points_hundredths` (0: in lines). The accounts'
/// texts together keep under `text_budget` bytes: past it a case's text says it was left out, so
/// a report stays well under the platforms' 1 MB. A second end_run writes nothing.
class case_accounts : public result_renderer {
 public:
  static constexpr std::size_t text_budget = std::size_t{512} * 1024;

  case_accounts(text_out& out, std::int64_t points_hundredths)
      : out_(out), points_hundredths_(points_hundredths) {}
  void begin_run(const run_header& header) override;
  void shape_judged(const submission_shape& shape) override;
  void begin_case(const case_result& record) override;
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  void end_run(const run_summary& summary) final;
  [[nodiscard]] bool ok() const final { return !out_.failed; }

 protected:
  /// Called for each Wrong line with its one-line account; nothing by default.
  virtual void wrong_line(const case_account& /*account*/, std::string_view /*said*/) {}
  /// Writes the report once the run has ended.
  virtual void finish(const run_summary& summary) = 0;

  text_out& out_;
  std::int64_t points_hundredths_;
  std::vector<case_account> cases_;
  run_header header_;
  std::vector<std::string> shape_;  // what the submission's shape says, a sentence each

 private:
  std::size_t text_bytes_ = 0;
  case_account open_;
  bool ended_ = false;
};

/// GitHub Classroom's test result, as the reporter reads it once base64-encoded:
/// {"version": 1, "status", "max_score", "tests": [{"name", "status", "score", "message",
/// "test_code", "filename", "line_no", "duration"}]}. A test per case: "pass" when each of its
/// lines was graded Right, "error" when the case could not be built, "fail" otherwise; the run's
/// status is "error" after a failure, else "pass" when every graded line is Right. Scores follow
/// spread_points; with no points given, max_score is the run's graded lines.
class github_classroom_report final : public case_accounts {
 public:
  using case_accounts::case_accounts;

 private:
  void finish(const run_summary& summary) override;
};

/// PrairieLearn's results.json: "gradable" (false when the run failed, so the submission is not
/// counted against the student), "score" (right lines over graded lines, 0 to 1), "message",
/// "output" (the run's summary) and a test per case with "points" and "max_points" (spread_points)
/// and its account as "output". No images.
class prairielearn_report final : public case_accounts {
 public:
  using case_accounts::case_accounts;

 private:
  void finish(const run_summary& summary) override;
};

/// The console in the form Moodle VPL reads: a "Comment :=>>" line per Wrong line as its case
/// ends (the case, strategy and output line, then its explanation's sentences joined by "; "),
/// one per failure, refused case and early end, one with the totals, and last "Grade :=>> G",
/// the score scaled to the points and rounded to hundredths. Control bytes in a comment are
/// written as \xHH, so no text of a submission can start a line of its own.
class vpl_console final : public case_accounts {
 public:
  using case_accounts::case_accounts;
  void end_case(const case_result& record, const case_tally& tally) override;

 private:
  void wrong_line(const case_account& account, std::string_view said) override;
  void shape_judged(const submission_shape& shape) override;
  void finish(const run_summary& summary) override;
  void comment(std::string_view text);
};
