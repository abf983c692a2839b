// The report formats, one row each: how the command line asks for one, what --help says of it,
// how it is built, and what the run must do for it. The option parser, --help, the checking run
// and the class run all read this table.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/options.h"
#include "checker/gradebook.h"
#include "checker/results.h"
#include "render/text_out.h"

/// What a class run writes beside each submission's report of a kind: the folder, and the
/// class's own file there.
struct class_index;
struct class_folder_kind {
  std::string command_line::*folder;  // the folder option's field ("--report-dir")
  std::string_view folder_role;       // "Report folder": names it when it can't be created
  std::string_view extension;         // ".json": ends each submission's report name
  std::string_view index_name;        // "class.json": the class's own file, never a report's name
  std::string_view index_role;        // "Class report": names it in every message
  std::string_view index_own;         // "the class report": why a listing leaves it out
  // The class's file holds the run's exit status, and is written after the console ends; else
  // before, with the gradebook.
  bool index_holds_status;
  // The submissions' reports link back to the class's file (run_header::class_page).
  bool reports_link_index;
  void (*write_index)(text_out& out, const class_index& index);
};

/// What the class's own file of a report folder is written from.
struct class_index {
  const run_header* header = nullptr;  // version, input and answer file
  std::string_view gradebook;
  const run_summary* input = nullptr;  // the input's case totals
  const class_totals* totals = nullptr;
  std::span<const submission_row> rows;
  std::span<const std::string> names;  // each submission's report in this folder
  int status = 0;                      // the run's exit status, when the file holds it
  std::string_view roster_heading;     // with --roster: "Canvas canvas.csv: 3 of 4 ..."
  std::span<const std::string> roster_notes;
};

struct report_kind {
  std::string_view option;          // "--json": OPTION=FILE asks for one
  std::string_view role;            // "JSON report": names its file in every message
  std::string_view help;            // its --help lines, '\n' between them
  std::string command_line::*path;  // where the option keeps FILE
  std::unique_ptr<result_renderer> (*make)(text_out& out, const command_line& cl);
  bool needs_diagnosis;  // it says where and why a Wrong line goes wrong
  bool with_gradebook;   // may be asked for as one file in a class run
  // In a class run, the folder under which it is written once per submission; null when a class
  // run writes none.
  const class_folder_kind* class_folder;
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

/// The rows a class run as `cl` asks for writes once per submission: those whose folder option
/// it gives, in the table's order.
std::vector<const report_kind*> class_report_kinds(const command_line& cl);
