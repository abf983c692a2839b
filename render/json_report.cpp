#include "render/json_report.h"

#include "checker/reveal.h"
#include "checker/shape.h"
#include "render/diagnosis_json.h"
#include "render/json_writer.h"

namespace {

constexpr std::size_t lines_per_case = 3;

std::string_view state_key(case_state state) {
  switch (state) {
    case case_state::built:
      return "built";
    case case_state::refused:
      return "refused";
    case case_state::not_built:
      break;
  }
  return "not built";
}

// The empty text stands for null in the three functions below.
std::string_view problem_key(line_problem problem) {
  switch (problem) {
    case line_problem::none:
      return "";
    case line_problem::missing:
      return "missing";
    case line_problem::bad_token:
      break;
  }
  return "bad_token";
}

std::string_view verdict_key(verdict judged) {
  switch (judged) {
    case verdict::none:
      return "";
    case verdict::right:
      return "right";
    case verdict::wrong:
      break;
  }
  return "wrong";
}

std::string_view fault_key(token_fault fault) {
  return fault == token_fault::out_of_range ? "out_of_range" : "no_number";
}

// Writes `,"name":` (or without the comma for the first member).
void put_member(text_out& out, std::string_view name, bool first = false) {
  if (!first) put_text(out, ",");
  put_json_name(out, name);
}

void put_header(text_out& out, const run_header& header) {
  put_text(out, "{");
  put_member(out, "version", true);
  put_json_string(out, header.version);
  put_member(out, "mode");
  put_json_string(out, header.answer_only ? "answer-only" : "checking");
  put_member(out, "input");
  put_json_string(out, header.input);
  put_member(out, "output");
  put_json_string(out, header.output);
  put_member(out, "answer_file");
  put_json_string_or_null(out, header.answer_file);
  if (header.reveal != reveal_level::all) {  // a full report stays as it always was
    put_member(out, "reveal");
    put_json_string(out, reveal_key(header.reveal));
  }
  put_text(out, ",\n");
  put_json_name(out, "results");
  put_text(out, "[");
}

void put_counts(text_out& out, const run_summary& summary) {
  put_member(out, "case_count");
  put_json_number(out, summary.case_count);
  put_member(out, "cases");
  put_json_number(out, summary.cases);
  put_member(out, "right");
  put_json_number(out, summary.right);
  put_member(out, "all");
  put_json_number(out, summary.all);
  put_member(out, "score");
  put_json_number(out, summary.score);
  put_member(out, "refused");
  put_json_number(out, summary.refused);
  put_member(out, "not_built");
  put_json_number(out, summary.not_built);
}

// The line that looks missing or extra and the run of lines out of step after it, or null.
void put_shift(text_out& out, const line_shift& shift, bool missing) {
  if (!shift.found || shift.missing != missing) {
    put_json_null(out);
    return;
  }
  put_text(out, "{");
  put_member(out, "line", true);
  put_json_number(out, shift.line());
  put_member(out, "first");
  put_json_number(out, shift.first);
  put_member(out, "last");
  put_json_number(out, shift.last);
  put_text(out, "}");
}

// The submission's shape, null when it was not judged (answer-only mode, no diagnosis asked).
void put_shape(text_out& out, const submission_shape& shape) {
  put_member(out, "shape");
  if (!shape.judged) {
    put_json_null(out);
    return;
  }
  put_text(out, "{");
  put_member(out, "missing_line", true);
  put_shift(out, shape.shift, true);
  put_member(out, "extra_line");
  put_shift(out, shape.shift, false);
  put_member(out, "separator");
  put_json_string(out, separator_key(shape.separator));
  put_member(out, "extra_lines");
  put_json_number(out, shape.extra_lines);
  put_text(out, "}");
}

void put_outcome(text_out& out, const run_summary& summary) {
  put_member(out, "ended_early");
  put_json_bool(out, summary.ended_early);
  put_member(out, "ended_message");
  put_json_string_or_null(out, summary.ended_message);
  put_member(out, "completed");
  put_json_bool(out, summary.completed);
  put_member(out, "status");
  put_json_number(out, summary.status);
  put_member(out, "error");
  put_json_string_or_null(out, summary.error);
}

}  // namespace

void json_report::begin_run(const run_header& header) {
  if (run_begun_) return;
  run_begun_ = true;
  policy_ = policy_of(header.reveal);
  put_header(out_, header);
}

void json_report::begin_case(const case_result& record) {
  if (!run_begun_) begin_run(run_header{});
  end_open_case();
  if (!policy_.cases) return;
  put_text(out_, cases_written_ > 0 ? ",\n{" : "\n{");
  put_member(out_, "case", true);
  put_json_number(out_, record.number);
  put_member(out_, "size_line");
  put_json_number(out_, record.size_line);
  put_member(out_, "table_size");
  put_json_number(out_, record.table_size);
  put_member(out_, "state");
  put_json_string(out_, state_key(record.state));
  put_member(out_, "message");
  put_json_string_or_null(out_, record.message);
  put_member(out_, "lines");
  put_text(out_, "[");
  ++cases_written_;
  case_open_ = true;
  lines_written_ = 0;
}

void json_report::line(const case_result& record, const line_result& result) {
  if (!case_open_) return;
  put_line_start(record, result.strategy);
  if (policy_.submitted) {
    put_submission(record, result);
  } else {
    put_member(out_, "output_line");
    put_json_number(out_, result.output_line);
    put_member(out_, "verdict");
    put_json_string_or_null(out_, verdict_key(result.judged));
  }
  if (policy_.diagnosis) {
    put_member(out_, "diagnosis");
    put_diagnosis(record, result);
  }
  put_text(out_, "}");
}

void json_report::end_case(const case_result& record, const case_tally& tally) {
  if (!case_open_) return;
  while (lines_written_ < lines_per_case) {
    put_line_start(record, all_strategies[lines_written_]);
    put_absent_submission();
    put_text(out_, "}");
  }
  put_text(out_, "]");
  put_member(out_, "right");
  put_json_number(out_, tally.right_count);
  put_member(out_, "graded");
  put_json_number(out_, tally.graded_count);
  put_text(out_, "}");
  case_open_ = false;
}

void json_report::end_run(const run_summary& summary) {
  if (!run_begun_) begin_run(run_header{});
  end_open_case();
  put_text(out_, "\n]");
  put_shape(out_, summary.shape);
  put_counts(out_, summary);
  put_outcome(out_, summary);
  put_text(out_, "}\n");
}

// Opens a line object and writes the members every line has; counts the line.
void json_report::put_line_start(const case_result& record, strategy_id strategy) {
  put_text(out_, lines_written_ > 0 ? ",\n {" : "\n {");
  put_member(out_, "strategy", true);
  put_json_string(out_, strategy_key(strategy));
  if (policy_.answer) {
    put_member(out_, "expected");
    put_json_keys(out_, layout_of(record.expected, strategy));
  }
  ++lines_written_;
}

void json_report::put_submission(const case_result& record, const line_result& result) {
  const bool bad_token = result.problem == line_problem::bad_token;
  put_member(out_, "output_line");
  put_json_number(out_, result.output_line);
  put_member(out_, "submitted");
  if (result.problem == line_problem::none && record.state == case_state::built) {
    put_json_keys(out_, result.submitted);
  } else {
    put_json_null(out_);
  }
  if (result.truncated_keys > 0) {  // only a line longer than its table has it
    put_member(out_, "truncated_keys");
    put_json_number(out_, result.truncated_keys);
  }
  put_member(out_, "problem");
  put_json_string_or_null(out_, problem_key(result.problem));
  put_member(out_, "token");
  put_json_string_or_null(out_, bad_token ? std::string_view(result.token) : "");
  put_member(out_, "token_cut");
  put_json_bool(out_, bad_token && result.token_cut);
  put_member(out_, "fault");
  put_json_string_or_null(out_, bad_token ? fault_key(result.fault) : "");
  put_member(out_, "verdict");
  put_json_string_or_null(out_, verdict_key(result.judged));
}

void json_report::put_absent_submission() {
  if (!policy_.submitted) {
    // The members a line has at this level, as line() writes them.
    put_member(out_, "output_line");
    put_json_null(out_);
    put_member(out_, "verdict");
    put_json_null(out_);
    if (policy_.diagnosis) {
      put_member(out_, "diagnosis");
      put_json_null(out_);
    }
    return;
  }
  for (const std::string_view name :
       {"output_line", "submitted", "problem", "token", "fault", "verdict", "diagnosis"}) {
    put_member(out_, name);
    put_json_null(out_);
  }
  put_member(out_, "token_cut");
  put_json_bool(out_, false);
}

// What went wrong in a line, beyond its verdict; null until lines are diagnosed.
void json_report::put_diagnosis(const case_result& /*record*/, const line_result& result) {
  if (result.details) {
    put_diagnosis_json(out_, *result.details, policy_.answer);
  } else {
    put_json_null(out_);
  }
}

// Closes a case whose end_case never came, so that the document stays whole.
void json_report::end_open_case() {
  if (case_open_) end_case(case_result{}, case_tally{});
}
