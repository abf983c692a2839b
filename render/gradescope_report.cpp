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

void put_number_member(text_out& out, std::string_view name, std::int64_t value) {
  put_text(out, ",");
  put_json_name(out, name);
  put_json_number(out, value);
}

void put_string_member(text_out& out, std::string_view name, std::string_view value) {
  put_text(out, ",");
  put_json_name(out, name);
  put_json_string(out, value);
}

}  // namespace

void gradescope_report::begin_run(const run_header& header) {
  if (run_begun_) return;
  run_begun_ = true;
  output_path_ = header.output;
  answer_only_ = header.answer_only;
  policy_ = policy_of(header.reveal);
  put_text(out_, "{\"tests\":[");
}

void gradescope_report::begin_case(const case_result& /*record*/) { case_text_.clear(); }

void gradescope_report::line(const case_result& record, const line_result& result) {
  if (record.state != case_state::built || result.judged == verdict::none) return;
  case_text_ += strategy_title(result.strategy);
  case_text_ += ": ";
  case_text_ += verdict_text(result.judged);
  case_text_ += '\n';
  if (policy_.answer) {
    append_expected_and_submitted(case_text_, layout_of(record.expected, result.strategy),
                                  output_path_, result);
  } else if (policy_.submitted) {
    append_submitted(case_text_, output_path_, result);
  }
  // The filter has already taken from the diagnosis what the level hides.
  if (policy_.diagnosis && result.judged == verdict::wrong && result.details) {
    case_text_ += explain_lines(*result.details);
  }
}

void gradescope_report::end_case(const case_result& record, const case_tally& tally) {
  if (!run_begun_) begin_run(run_header{});
  if (record.state != case_state::built) {
    case_text_ = unbuilt_text(record);
  } else if (answer_only_ && policy_.answer) {
    case_text_ = expected_text(record);
  }
  if (policy_.cases) put_test(record, tally);
  case_text_.clear();
}

void gradescope_report::end_run(const run_summary& summary) {
  if (!run_begun_) begin_run(run_header{});
  put_text(out_, "\n]");
  put_number_member(out_, "score", summary.right);
  put_number_member(out_, "max_score", summary.all);
  put_string_member(out_, "output", summary_text(summary, answer_only_));
  put_string_member(out_, "visibility", "visible");
  put_text(out_, "}\n");
}

void gradescope_report::put_test(const case_result& record, const case_tally& tally) {
  const bool passed = record.state == case_state::built && tally.right_count == tally.graded_count;
  put_text(out_, tests_written_ > 0 ? ",\n{" : "\n{");
  put_json_name(out_, "name");
  put_json_string(out_, "Case " + std::to_string(record.number) + ": table size " +
                            std::to_string(record.table_size));
  put_number_member(out_, "score", tally.right_count);
  put_number_member(out_, "max_score", tally.graded_count);
  put_string_member(out_, "status", passed ? "passed" : "failed");
  put_string_member(out_, "output", case_text_);
  put_string_member(out_, "output_format", "text");
  put_string_member(out_, "visibility", visibility_);
  put_text(out_, "}");
  ++tests_written_;
}
