#include "render/gradescope_report.h"

#include <string_view>

#include "render/explain_text.h"
#include "render/json_writer.h"
#include "render/report_text.h"

namespace {

std::string unbuilt_text(const case_result& record) {
  if (!record.message.empty()) return record.message + "\n";
  return record.state == case_state::refused ? "case refused\n" : "table could not be built\n";
}

// Answer-only mode: the ground truth alone, nothing having been submitted.
std::string expected_text(const case_result& record) {
  std::string text;
  for (const strategy_id strategy : all_strategies) {
    text += strategy_title(strategy);
    text += ":\n  expected:  ";
    append_capped_keys(text, layout_of(record.expected, strategy));
    text += '\n';
  }
  return text;
}

std::string summary_text(const run_summary& summary, bool answer_only) {
  std::string text;
  if (answer_only) {
    text += "Answer-only mode: no line was graded\n";
  } else {
    text += "Success/All: " + std::to_string(summary.right) + "/" + std::to_string(summary.all) +
            "\nScore: " + std::to_string(summary.score) + "\n";
  }
  if (summary.refused > 0) text += "Refused cases: " + std::to_string(summary.refused) + "\n";
  if (summary.not_built > 0) text += "Cases not built: " + std::to_string(summary.not_built) + "\n";
  if (!summary.ended_message.empty()) text += summary.ended_message + "\n";
  if (!summary.error.empty()) text += summary.error + "\n";
  return text;
}

constexpr json_layout test_per_line{.before_element = "\n", .before_end = "\n"};

}  // namespace

void gradescope_report::begin_run(const run_header& header) {
  if (run_begun_) return;
  run_begun_ = true;
  output_path_ = header.output;
  answer_only_ = header.answer_only;
  document_.emplace(out_);
  tests_.emplace(*document_, "tests", test_per_line);
}

void gradescope_report::begin_case(const case_result& /*record*/) { case_text_.clear(); }

void gradescope_report::line(const case_result& record, const line_result& result) {
  if (record.state != case_state::built || result.judged == verdict::none) return;
  case_text_ += strategy_title(result.strategy);
  case_text_ += ": ";
  case_text_ += verdict_text(result.judged);
  case_text_ += '\n';
  if (!result.submission_withheld && record.answer_withheld) {
    append_submitted(case_text_, output_path_, result);
  } else if (!result.submission_withheld) {
    append_expected_and_submitted(case_text_, layout_of(record.expected, result.strategy),
                                  output_path_, result);
  }
  if (result.judged == verdict::wrong && result.details) {
    case_text_ += explain_lines(*result.details);
  }
}

void gradescope_report::end_case(const case_result& record, const case_tally& tally) {
  if (!run_begun_) begin_run(run_header{});
  if (record.state != case_state::built) {
    case_text_ = unbuilt_text(record);
  } else if (answer_only_ && !record.answer_withheld) {
    case_text_ = expected_text(record);
  }
  if (tests_) put_test(record, tally);
  case_text_.clear();
}

void gradescope_report::end_run(const run_summary& summary) {
  if (!run_begun_) begin_run(run_header{});
  if (!document_) return;
  tests_.reset();
  document_->number("score", summary.right);
  document_->number("max_score", summary.all);
  document_->string("output", summary_text(summary, answer_only_));
  document_->string("visibility", "visible");
  document_.reset();
  put_text(out_, "\n");
}

void gradescope_report::put_test(const case_result& record, const case_tally& tally) {
  const bool passed = record.state == case_state::built && tally.right_count == tally.graded_count;
  json_object test(*tests_);
  test.string("name", "Case " + std::to_string(record.number) + ": table size " +
                          std::to_string(record.table_size));
  test.number("score", tally.right_count);
  test.number("max_score", tally.graded_count);
  test.string("status", passed ? "passed" : "failed");
  test.string("output", case_text_);
  test.string("output_format", "text");
  test.string("visibility", visibility_);
}
