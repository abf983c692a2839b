#include "render/json_report.h"

#include <utility>

#include "checker/reveal.h"
#include "checker/shape.h"
#include "render/case_json.h"
#include "render/diagnosis_json.h"
#include "render/json_writer.h"
#include "render/key_text.h"

namespace {

constexpr std::size_t lines_per_case = strategy_count;

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

void put_header(json_object& document, const run_header& header) {
  document.string("version", header.version);
  document.string("mode", header.answer_only ? "answer-only" : "checking");
  document.string("input", header.input);
  document.string("output", header.output);
  document.string_or_null("answer_file", header.answer_file);
  document.string("separators", header.any_separator ? "any" : "spaces");
  if (header.reveal != reveal_level::all) {  // a full report stays as it always was
    document.string("reveal", reveal_key(header.reveal));
  }
}

void put_counts(json_object& document, const run_summary& summary) {
  document.number("case_count", summary.case_count);
  document.number("cases", summary.cases);
  document.number("right", summary.right);
  document.number("all", summary.all);
  document.number("score", summary.score);
  document.number("refused", summary.refused);
  document.number("not_built", summary.not_built);
}

// The first line that looks missing or extra and the run of lines out of step after it, or null;
// its three line numbers are null when the reveal level withheld them.
void put_shift(json_object& shape, std::string_view name, const line_shift& shift, bool missing) {
  if (!shift.found || shift.missing != missing) {
    shape.null(name);
    return;
  }
  json_object object(shape, name);
  for (const auto& [member, value] :
       {std::pair{"line", shift.line()}, {"first", shift.first}, {"last", shift.last}}) {
    if (shift.first == 0) {
      object.null(member);
    } else {
      object.number(member, value);
    }
  }
  // Said only of a shift of several lines, so that a report of one line reads as it always has.
  if (shift.lines > 1) object.number("lines", shift.lines);
}

// The program's mistake: every mistake that gives a Wrong line, the most first.
void put_likely(json_object& document, const submission_shape& shape) {
  json_array likely(document, "likely_mistakes");
  for (const likely_mistake& entry : shape.likely) {
    json_object object(likely);
    object.string("mistake", mistake_key(entry.mistake));
    object.number("explains", entry.explains);
    object.number("wrong_lines", entry.wrong_lines);
  }
}

// The submission's shape, null when it was not judged (answer-only mode, no diagnosis asked).
void put_shape(json_object& document, const submission_shape& shape) {
  if (!shape.judged) {
    document.null("shape");
    return;
  }
  json_object object(document, "shape");
  put_shift(object, "missing_line", shape.shift, true);
  put_shift(object, "extra_line", shape.shift, false);
  object.string("separator", separator_key(shape.separator));
  object.number("extra_lines", shape.extra_lines);
  // Said only of a file with several runs, so that a report of one reads as it always has.
  if (shape.more_runs == 0) return;
  object.number("runs", shape.more_runs + 1);
  json_object last(object, "last_run");
  last.boolean("missing", shape.last_run.missing);
  last.number("lines", shape.last_run.lines);
}

void put_outcome(json_object& document, const run_summary& summary) {
  document.boolean("ended_early", summary.ended_early);
  document.string_or_null("ended_message", summary.ended_message);
  document.boolean("completed", summary.completed);
  document.number("status", summary.status);
  document.string_or_null("error", summary.error);
}

// What went wrong in a line, beyond its verdict; null until lines are diagnosed. Without the
// answer the members taken from the correct build are left out rather than written empty.
void put_diagnosis(json_object& entry, const line_result& result, bool answer) {
  if (result.details) {
    put_diagnosis_json(entry.member("diagnosis"), *result.details, answer);
  } else {
    entry.null("diagnosis");
  }
}

constexpr json_layout case_per_line{.before_element = "\n", .before_end = "\n"};
constexpr json_layout line_per_line{.before_element = "\n ", .before_end = ""};

}  // namespace

void json_report::begin_run(const run_header& header) {
  if (run_begun_) return;
  run_begun_ = true;
  document_.emplace(out_);
  put_header(*document_, header);
  document_->break_line();
  results_.emplace(*document_, "results", case_per_line);
}

void json_report::begin_case(const case_result& record) {
  if (!run_begun_) begin_run(run_header{});
  end_open_case();
  if (!results_) return;
  case_.emplace(*results_);
  put_case_members(*case_, record);
  lines_.emplace(*case_, "lines", line_per_line);
  lines_written_ = 0;
}

void json_report::line(const case_result& record, const line_result& result) {
  if (!case_) return;
  // A Right line's keys are its layout's: formatted once, written as both arrays.
  const std::string* same_keys = nullptr;
  if (!record.answer_withheld && !result.submission_withheld && result.judged == verdict::right &&
      result.problem == line_problem::none && record.state == case_state::built) {
    layout_text_.clear();
    layout_text_ += '[';
    if (append_keys_separated(layout_text_, layout_of(record.expected, result.strategy), ',')) {
      layout_text_ += ']';
      same_keys = &layout_text_;
    }
  }
  json_object entry(*lines_);
  put_line_start(entry, record, result.strategy, same_keys);
  submission_withheld_ = result.submission_withheld;
  if (submission_withheld_) {
    entry.number("output_line", result.output_line);
    entry.string_or_null("verdict", verdict_key(result.judged));
  } else {
    put_submission(entry, record, result, same_keys);
  }
  if (!submission_withheld_ || result.details) {
    put_diagnosis(entry, result, !record.answer_withheld);
  }
}

void json_report::end_case(const case_result& record, const case_tally& tally) {
  if (!case_) return;
  while (lines_written_ < lines_per_case) {
    json_object entry(*lines_);
    put_line_start(entry, record, all_strategies[lines_written_]);
    put_absent_submission(entry);
  }
  lines_.reset();
  case_->number("right", tally.right_count);
  case_->number("graded", tally.graded_count);
  case_.reset();
}

void json_report::end_run(const run_summary& summary) {
  if (!run_begun_) begin_run(run_header{});
  if (!document_) return;
  end_open_case();
  results_.reset();
  put_shape(*document_, summary.shape);
  put_counts(*document_, summary);
  put_outcome(*document_, summary);
  if (summary.shape.wrong_lines > 0) put_likely(*document_, summary.shape);
  document_.reset();
  put_text(out_, "\n");
  std::string().swap(layout_text_);
}

// Writes the members every line has; counts the line.
void json_report::put_line_start(json_object& entry, const case_result& record,
                                 strategy_id strategy, const std::string* expected_text) {
  entry.string("strategy", strategy_key(strategy));
  if (expected_text != nullptr) {
    put_text(entry.member("expected"), *expected_text);
  } else if (!record.answer_withheld) {
    entry.keys("expected", layout_of(record.expected, strategy));
  }
  ++lines_written_;
}

void json_report::put_submission(json_object& entry, const case_result& record,
                                 const line_result& result, const std::string* submitted_text) {
  const bool bad_token = result.problem == line_problem::bad_token;
  entry.number("output_line", result.output_line);
  if (submitted_text != nullptr) {
    put_text(entry.member("submitted"), *submitted_text);
  } else if (result.problem == line_problem::none && record.state == case_state::built) {
    entry.keys("submitted", result.submitted);
  } else {
    entry.null("submitted");
  }
  if (result.truncated_keys > 0) {  // only a line longer than its table has it
    entry.number("truncated_keys", result.truncated_keys);
  }
  entry.string_or_null("problem", problem_key(result.problem));
  entry.string_or_null("token", bad_token ? std::string_view(result.token) : "");
  entry.boolean("token_cut", bad_token && result.token_cut);
  entry.string_or_null("fault", bad_token ? fault_key(result.fault) : "");
  entry.string_or_null("verdict", verdict_key(result.judged));
}

void json_report::put_absent_submission(json_object& entry) const {
  if (submission_withheld_) {
    // The members a line has whose submitted part is withheld, as line() writes them.
    entry.null("output_line");
    entry.null("verdict");
    return;
  }
  for (const std::string_view name :
       {"output_line", "submitted", "problem", "token", "fault", "verdict", "diagnosis"}) {
    entry.null(name);
  }
  entry.boolean("token_cut", false);
}

// Closes a case whose end_case never came, so that the document stays whole.
void json_report::end_open_case() {
  if (case_) end_case(case_result{}, case_tally{});
}
