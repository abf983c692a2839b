// The JSON report: one document holding the run's header, every case with its three lines, and
// the totals. It is streamed: memory stays bounded by one case, whatever the number of cases, and
// a layout of any length is written without a copy. docs/report.schema.json describes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "checker/results.h"
#include "render/json_writer.h"
#include "render/text_out.h"

/// Members the reveal filter withheld (checker/reveal.h) are left out; a level below `all` adds
/// the member "reveal". Writes to `out`, which the caller opens, keeps alive past
/// end_run and commits. Every case object holds exactly three line objects: lines that never
/// arrived (all of them in answer-only mode) are written with output_line, submitted, problem,
/// token and verdict null. A case left open when the next case or end_run comes is closed first, so
/// a run that stops inside a case still gives a valid document; events must otherwise come in the
/// documented order; a second end_run writes nothing.
class json_report final : public result_renderer {
 public:
  explicit json_report(text_out& out) : out_(out) {}

  void begin_run(const run_header& header) override;
  void begin_case(const case_result& record) override;
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  void end_run(const run_summary& summary) override;
  [[nodiscard]] bool ok() const override { return !out_.failed; }

 private:
  void put_line_start(json_object& entry, const case_result& record, strategy_id strategy,
                      const std::string* expected_text = nullptr);
  void put_submission(json_object& entry, const case_result& record, const line_result& result,
                      const std::string* submitted_text = nullptr);
  void put_absent_submission(json_object& entry) const;
  void end_open_case();

  text_out& out_;
  std::string layout_text_;           // a Right line's layout as a JSON array, written twice
  bool submission_withheld_ = false;  // as the last line came: so are lines that never came
  bool run_begun_ = false;
  std::size_t lines_written_ = 0;  // in the open case
  // The scopes open between events, outermost first; each closes itself when reset.
  std::optional<json_object> document_;
  std::optional<json_array> results_;
  std::optional<json_object> case_;
  std::optional<json_array> lines_;
};
