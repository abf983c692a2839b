#include "render/console_transcript.h"

#include "checker/key_lines.h"
#include "render/class_console.h"
#include "render/explain_text.h"
#include "render/key_text.h"

namespace {

constexpr std::size_t keys_worth_two_threads = std::size_t{1} << 21;
constexpr std::string_view green = "\x1b[32m";
constexpr std::string_view red = "\x1b[31m";
constexpr std::string_view plain = "\x1b[0m";

void put_count_line(text_out& out, std::string_view label, std::int64_t count) {
  if (count == 0) return;
  put_text(out, label);
  put_number(out, count);
  put_text(out, "\n");
}

void print_summary(text_out& out, const run_summary& summary) {
  put_text(out, "\n>>>>>>>>>>>>>>>>Summary\nSuccess/All: ");
  put_number(out, summary.right);
  put_text(out, "/");
  put_number(out, summary.all);
  put_text(out, ":\nScore: ");
  put_number(out, summary.score);
  put_text(out, ":\n");
  put_count_line(out, "Refused cases: ", summary.refused);
  put_count_line(out, "Cases not built: ", summary.not_built);
}

}  // namespace

void console_transcript::begin_run(const run_header& header) {
  answer_only_ = header.answer_only;
  output_path_ = header.output;
}

void console_transcript::begin_case(const case_result& record) {
  put_text(out_, "\n\n>>>>>>>>>>>>>>>>TEST Case: ");
  put_number(out_, record.number);
  put_text(out_, "\n");
  if (record.state != case_state::built) {
    put_text(out_, shown_path(record.message));
    put_text(out_, "\n");
    return;
  }
  put_text(out_, ">>>>>>>>>>>>>>>>GROUND TRUTH:\n");
  for (const strategy_id strategy : all_strategies) {
    print_keys(out_, layout_of(record.expected, strategy));
  }
  if (!answer_only_) put_text(out_, "\n>>>>>>>>>>>>>>>>YOUR ANSWER:\n");
}

void console_transcript::echo(const line_result& result) {
  if (result.problem == line_problem::none && result.truncated_keys > 0) {
    // Only the kept keys can be shown; the count of the others ends the echo.
    put_keys_separated(out_, result.submitted, ' ');
    put_text(out_, " ... ");
    put_number(out_, result.truncated_keys);
    put_text(out_, " more keys not kept\n");
    return;
  }
  if (result.problem == line_problem::none) {
    // The answer file's thread is done with a large case by now, so its core is free.
    if (result.submitted.size() >= keys_worth_two_threads) {
      print_keys_on_two_threads(out_, result.submitted);
    } else {
      print_keys(out_, result.submitted);
    }
    return;
  }
  put_text(out_, "Output File " + shown_path(output_path_) + " line ");
  put_number(out_, result.output_line);
  if (result.problem == line_problem::missing) {
    put_text(out_, " is missing\n");
    return;
  }
  put_text(out_, ": token " + quote_token(result.token, result.token_cut) + " ");
  put_text(out_, fault_text(result.fault));
  put_text(out_, "\n");
}

void console_transcript::line(const case_result& /*record*/, const line_result& result) {
  if (result.judged == verdict::none) return;
  echo(result);
  const bool right = result.judged == verdict::right;
  if (color_) put_text(out_, right ? green : red);
  put_text(out_, right ? ">>>>>Right" : ">>>>>Wrong");
  if (color_) put_text(out_, plain);
  put_text(out_, "\n");
  // A missing line or a bad token is explained by its echo already: only a mistake its tokens
  // were named by is added.
  if (explain_ && !right && result.details) {
    put_text(out_, result.problem == line_problem::none ? explain_lines(*result.details)
                                                        : explain_unread_line(*result.details));
  }
}

void console_transcript::end_case(const case_result& record, const case_tally& tally) {
  if (answer_only_ || record.state != case_state::built) return;
  put_text(out_, "\n[TEST RESULT] Right / All: ");
  put_number(out_, tally.right_count);
  put_text(out_, "/");
  put_number(out_, static_cast<std::int64_t>(strategy_count));
  put_text(out_, ":\n");
}

void console_transcript::end_run(const run_summary& summary) {
  if (!summary.ended_message.empty()) put_text(out_, shown_path(summary.ended_message) + "\n");
  if (explain_ && !answer_only_) {
    const std::string likely = likely_line(summary.shape);
    if (!likely.empty()) put_text(out_, likely + "\n");
    for (const std::string& said : shape_lines(summary.shape)) {
      put_text(out_, "Shape: " + said + "\n");
    }
  }
  if (summary.completed && !answer_only_) print_summary(out_, summary);
  if (!summary.error.empty()) {
    put_text(out_, shown_path(summary.error) + "\n");
    return;
  }
  put_text(out_, "Press Any Key to Finish\n" + shown_path(closing_line_) + "\n");
  prompted_ = true;
}
