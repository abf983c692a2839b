// The exit status of every run (single, class, browser page): one calculation from what the run
// came to, and one table from each status to the words that show it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "checker/results.h"
#include "hashing/program_limits.h"

/// What a run came to, as far as its exit status goes.
struct run_outcome {
  bool failed = false;      // a failure line ended the run
  bool incomplete = false;  // a case refused or not built, the input ended early; in a class
                            // run also a submission not graded or a download not matched
  bool checking = false;    // lines were graded (not answer-only)
  std::int64_t graded = 0;  // the lines graded
  bool any_wrong = false;   // a graded line is Wrong
  bool fail_on_wrong = false;
};

/// What `summary` says of a run: failed with its error, incomplete with a refused or unbuilt case
/// or an early end, and its graded and Wrong lines.
run_outcome outcome_of(const run_summary& summary, bool checking, bool fail_on_wrong);

/// The exit status of a run that came to `outcome`: 255 after a failure, 1 when incomplete; in
/// checking mode a run that graded no line ends with 1 (3 with fail_on_wrong), and one with a
/// Wrong line with 3 under fail_on_wrong; 0 otherwise.
int exit_status(const run_outcome& outcome);

/// Sets the score and the exit status of a run (checking lines or not) that ended with `summary`:
/// what every run does last, before its renderers hear end_run.
void settle_summary(run_summary& summary, bool checking, bool fail_on_wrong);

/// An exit status and the words that show it.
struct exit_status_row {
  int status = 0;
  std::string_view outcome;  // how a report words a run that ended so
  std::string_view help;     // its lines under "Exit status:" in --help, one a line
};

/// Every exit status the program ends with, in order.
inline constexpr std::array<exit_status_row, 5> exit_statuses{{
    {success_status, "every case built", "every case was built (and graded, in checking mode)"},
    {incomplete_status, "completed, some cases refused or not built or the input ended early",
     "the run completed, but a case was refused or not built, or the input ended early,\n"
     "or (--gradebook) a submission could not be opened or read or was not graded (a\n"
     "link, FIFO, socket or device in a folder), or no submission was graded at all,\n"
     "or (--roster) a download matched no student or shares its student with another"},
    {usage_status, "usage error",
     "a usage error: an unknown option or a bad option value, a count of arguments that\n"
     "fits no form, '-' for both INPUT and OUTPUT, --gradebook without a submission;\n"
     "--generate when no input of tables that small can catch every mistake; --roster\n"
     "without the grade column named, or with --points that the export contradicts"},
    {wrong_lines_status, "completed with Wrong lines (--fail-on-wrong)",
     "with --fail-on-wrong: the run would end with 0, but a graded line is Wrong"},
    {failure_status, "failed",
     "a file could not be opened, read or written, line 1 holds no case count, a file is\n"
     "another's (the input or output is the answer file), or memory ran out"},
}};

/// How a report words the end of a run with `summary`: its status's words, a failure followed by
/// its line, and "ended" for a status not in the table.
std::string status_words(const run_summary& summary);

/// The "Exit status:" part of --help: each status of the table and its lines.
std::string exit_status_help();
