// How much of a run a report may show: everything (the teacher's view), or a student's view that
// keeps the answer key out. The level travels in run_header and is read here alone: every report
// is built behind a reveal_filter (app/report_factory.cpp), which hands it records that hold only
// what the level shows. A report renders what it is given; it never reads the level.
//
// What a report receives below `all`, by level (the filter's contract):
//   every level   the header, with class_page empty and student_view set; the summary's totals
//   diagnosis     cases without keys, layouts or refusal message (answer_withheld; an unbuilt
//                 case keeps its allocation message); each line's verdict and submitted part;
//                 the diagnosis less everything taken from the correct build; the whole shape
//   mistake       cases as above; each line's verdict alone (submission_withheld), and for a
//                 Wrong line a diagnosis holding only the named mistake and its sentence (none
//                 when no mistake is named); the shape without line numbers (first and last 0)
//   verdict       cases as above; each line's verdict alone; no diagnosis; no shape beyond
//                 whether the file is empty
//   score         no case and no line at all; no shape beyond whether the file is empty
// A new report therefore can't show what a level hides, however it is written.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "checker/results.h"

/// "all", "diagnosis", "mistake", "verdict" or "score".
std::string_view reveal_key(reveal_level level);

/// The level named by `text` as reveal_key writes it; null for any other text.
std::optional<reveal_level> parse_reveal(std::string_view text);

/// The levels in order, from all to score, as reveal_key names them, joined by ", " with "or"
/// before the last: for messages and help.
std::string_view reveal_choices();

/// A renderer that hands `inner` every event, with the records stripped of what `header.reveal`
/// hides (see above). At `all` the records pass through untouched.
class reveal_filter final : public result_renderer {
 public:
  explicit reveal_filter(std::unique_ptr<result_renderer> inner) : inner_(std::move(inner)) {}

  void begin_run(const run_header& header) override;
  void shape_judged(const submission_shape& shape) override;
  void begin_case(const case_result& record) override;
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  void end_run(const run_summary& summary) override;
  [[nodiscard]] bool ok() const override { return inner_->ok(); }

 private:
  const case_result& shown(const case_result& record);
  [[nodiscard]] submission_shape shown(const submission_shape& shape) const;

  std::unique_ptr<result_renderer> inner_;
  reveal_level level_ = reveal_level::all;
  case_result case_;  // the open case without what the level hides
};
