// The report formats, one row each: how the command line asks for one, what --help says of it,
// how it is built, and what the run must do for it. The option parser, --help, the checking run
// and the class run all read this table.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "app/options.h"
#include "checker/results.h"
#include "render/text_out.h"

struct report_kind {
  std::string_view option;          // "--json": OPTION=FILE asks for one
  std::string_view role;            // "JSON report": names its file in every message
  std::string_view help;            // its --help lines, '\n' between them
  std::string command_line::*path;  // where the option keeps FILE
  std::unique_ptr<result_renderer> (*make)(text_out& out, const command_line& cl);
  bool needs_diagnosis;  // it says where and why a Wrong line goes wrong
  bool with_gradebook;   // may be asked for as one file in a class run
  // In a class run, the folder option under which it is written once per submission; null when
  // a class run writes none.
  std::string command_line::*class_folder;
};

/// Every report format, in the order --help lists them.
std::span<const report_kind> report_kinds();

/// The report of `kind`, writing to `out`. What the run header's reveal level hides never
/// reaches it (checker/reveal.h).
std::unique_ptr<result_renderer> make_report(const report_kind& kind, text_out& out,
                                             const command_line& cl);

/// True when one of the reports `cl` asks for shows a diagnosis; with --gradebook, one of those
/// it writes per submission.
bool reports_need_diagnosis(const command_line& cl);

/// The row whose class-run folder option is `folder`; null when none has it, and then a class
/// run writes no report per submission into that folder.
const report_kind* class_report_kind(std::string command_line::*folder);
