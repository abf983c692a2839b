#include "checker/run_status.h"

#include <algorithm>

#include "checker/grading.h"

run_outcome outcome_of(const run_summary& summary, bool checking, bool fail_on_wrong) {
  run_outcome outcome;
  outcome.failed = !summary.error.empty();
  outcome.incomplete = summary.refused > 0 || summary.not_built > 0 || summary.ended_early;
  outcome.checking = checking;
  outcome.graded = summary.all;
  outcome.any_wrong = summary.right < summary.all;
  outcome.fail_on_wrong = fail_on_wrong;
  return outcome;
}

int exit_status(const run_outcome& outcome) {
  if (outcome.failed) return failure_status;
  if (outcome.incomplete) return incomplete_status;
  if (!outcome.checking) return success_status;
  // A run that graded no line at all passed nothing.
  if (outcome.graded == 0) return outcome.fail_on_wrong ? wrong_lines_status : incomplete_status;
  return outcome.fail_on_wrong && outcome.any_wrong ? wrong_lines_status : success_status;
}

void settle_summary(run_summary& summary, bool checking, bool fail_on_wrong) {
  summary.score = score(summary.right, summary.all);
  summary.status = exit_status(outcome_of(summary, checking, fail_on_wrong));
}

std::string status_words(const run_summary& summary) {
  const auto row =
      std::find_if(exit_statuses.begin(), exit_statuses.end(),
                   [&](const exit_status_row& r) { return r.status == summary.status; });
  if (row == exit_statuses.end()) return "ended";
  std::string words(row->outcome);
  if (row->status == failure_status && !summary.error.empty()) words += ": " + summary.error;
  return words;
}

std::string exit_status_help() {
  std::string text = "Exit status:\n";
  for (const exit_status_row& row : exit_statuses) {
    std::string number = std::to_string(row.status);
    number.resize(5, ' ');
    std::string_view lines = row.help;
    for (bool first = true; !lines.empty(); first = false) {
      const std::size_t end = std::min(lines.find('\n'), lines.size());
      text += first ? "  " + number : std::string(7, ' ');
      text.append(lines.substr(0, end)).append("\n");
      lines.remove_prefix(std::min(end + 1, lines.size()));
    }
  }
  return text;
}
