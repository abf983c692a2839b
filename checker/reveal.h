// How much of a run a report may show: everything (the teacher's view), or a student's view that
// keeps the answer key out. The level travels in run_header; reveal_filter wipes what a level
// hides from the records before a report sees them, and reports ask reveal_policy which parts to
// write at all, so that a hidden part is left out rather than written empty.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "checker/results.h"

/// "all", "diagnosis", "verdict" or "score".
std::string_view reveal_key(reveal_level level);

/// The level named by `text` as reveal_key writes it; null for any other text.
std::optional<reveal_level> parse_reveal(std::string_view text);

/// Which parts of a run a report shows.
struct reveal_policy {
  bool answer = true;     // expected layouts, the case's keys and the input's refusal messages
  bool cases = true;      // anything per case or per line beyond the totals
  bool submitted = true;  // the submitted lines, their problems and tokens
  bool diagnosis = true;  // why a line is Wrong, without the answer's details unless `answer`
};

reveal_policy policy_of(reveal_level level);

/// A renderer that hands `inner` every event, with the records stripped of what `header.reveal`
/// hides. At `all` the records pass through untouched.
class reveal_filter final : public result_renderer {
 public:
  explicit reveal_filter(std::unique_ptr<result_renderer> inner) : inner_(std::move(inner)) {}

  void begin_run(const run_header& header) override;
  void shape_judged(const submission_shape& shape) override { inner_->shape_judged(shape); }
  void begin_case(const case_result& record) override;
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  void end_run(const run_summary& summary) override { inner_->end_run(summary); }
  [[nodiscard]] bool ok() const override { return inner_->ok(); }

 private:
  const case_result& shown(const case_result& record);

  std::unique_ptr<result_renderer> inner_;
  reveal_policy policy_;
  case_result case_;  // the open case without what the level hides
};
