// The checker's run: reads the input file case by case, builds each case's three layouts, reads
// and grades the submitted lines, and hands every result record to the renderers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "checker/line_reader.h"
#include "checker/results.h"
#include "checker/submission_file.h"

struct run_request {
  bool answer_only = false;
  std::string input_path = "./hash_input.txt";
  std::string output_path = "./hash_output.txt";
  bool diagnose = false;  // explain every Wrong line (line_result::details)
  // The output file was found by listing a folder: it is read only as a regular file
  // (open_listed_submission), a link only with `follow_links`.
  bool listed = false;
  bool follow_links = false;
  // Submitted keys are read between any run of spaces, tabs, commas or semicolons, brackets
  // ignored (--separators=any), not between single spaces.
  bool any_separator = false;
};

struct file_closer {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

/// The files a run reads, owned for its length.
struct run_files {
  std::unique_ptr<std::FILE, file_closer> input;
  std::unique_ptr<std::FILE, file_closer> output;  // never opened in answer-only mode
  line_reader input_f;
  line_reader output_f;
  std::int64_t case_count = 0;
  // How many numbers the input's first line holds: more than one, and the files may be swapped.
  std::int64_t count_line_numbers = 0;
  submission_shape shape;  // judged as the lines are read, when they are diagnosed
  // Asked before a case's tables are built, with the case as read: empty when the case may be
  // built, else the line that says why its memory can't be had, and the case is then not built.
  // For a host whose allocation failures can't be survived once under way (the browser page);
  // null, as natively: every case is tried.
  std::string (*room_for_case)(const case_result& record) = nullptr;
  // Told the line's number within its case (1 to 3) as each line of a case read whole before it
  // is graded arrives, for a host that shows how far a long read is (the browser page); null
  // natively.
  void (*line_read)(int line_in_case) = nullptr;
};

/// A renderer and, when its failed writes must end the run, the line that says so. A renderer of
/// layouts alone may hear a large case's begin_case on a second thread (`beside`).
struct renderer_slot {
  renderer_slot(result_renderer* renderer, std::string failure_line)
      : renderer(renderer), failure_line(std::move(failure_line)) {}
  renderer_slot(layout_renderer* renderer, std::string failure_line)
      : renderer(renderer), failure_line(std::move(failure_line)), beside(renderer) {}

  result_renderer* renderer = nullptr;
  std::string failure_line;           // empty: a failure is only noticed at the end
  layout_renderer* beside = nullptr;  // `renderer` itself, when it renders layouts alone
};

/// Opens the input file, then in checking mode the output file, and reads the case count. Returns
/// the failure line ("Input File X open failed", a bad count...), or an empty text. A directory
/// counts as a file that can't be opened; the output file is not touched in answer-only mode.
/// "-" is standard input.
std::string start_run(const run_request& request, run_files& files);

/// Runs every case that line 1 counts, handing each record to every renderer in order, and fills
/// the totals of `summary`. When lines are diagnosed, the submission's shape is judged in the same
/// one read of each file (`summary.shape`, `files.shape`; see result_renderer::shape_judged), the
/// lines after the last case counted at the end. A read that
/// fails, or a renderer with a failure line that fails, ends the run with `summary.error` set and
/// `summary.completed` false. Sets no exit status (settle_summary, checker/run_status.h, does).
void run_cases(const run_request& request, run_files& files, std::span<const renderer_slot> slots,
               run_summary& summary);

/// An input's first line is its case count alone: one that holds `numbers` numbers, more than
/// one, looks like an output file's first layout, and this one line (no line feed) says so.
/// Empty for one number or none.
std::string swapped_files_hint(std::int64_t numbers);

/// Reads every case that line 1 counts into `cases`, building each that may be built, after a
/// start_run in answer-only mode; no renderer is told. Fills the case totals of `summary` as
/// run_cases would (case_count, cases, refused, not_built, ended_early); a failed read sets
/// `summary.error` and leaves `completed` false. Holds every case's keys and layouts at once.
void read_all_cases(run_files& files, std::vector<case_result>& cases, run_summary& summary);

/// Reads case `number` into `record` after a start_run in answer-only mode, building it when it
/// may be built, as run_cases reads it; holds nothing between calls. `end` when the input holds
/// no more lines; a case past the count gives `end` too.
read_status read_next_case(run_files& files, std::int64_t number, case_result& record);

/// As read_next_case, but builds nothing: a case that may be built keeps state `built` and no
/// layouts, for a caller that builds only what it needs, one table at a time (the audit).
read_status read_next_case_keys(run_files& files, std::int64_t number, case_result& record);

/// The line a case carries when its tables could not be allocated, as the run words it.
std::string not_built_message(const run_files& files, const case_result& record);

/// The keys a submitted line of a table of `table_size` slots keeps (see key_line_parser): one
/// more than the table holds, and at least 1024.
std::size_t kept_keys(std::int64_t table_size);

/// Grades the output file `request.output_path` against `cases` from read_all_cases (whose summary
/// is `input`) exactly as run_cases grades it in checking mode, telling the renderers shape_judged
/// and every case event but not begin_run or end_run; the cases are only read, so that every
/// submission of a class may share them. The file's shape is always judged, into `summary.shape`,
/// in the same one read. Fills the totals of `summary`; a file that can't be
/// opened (a directory included) or read, or a listed one that is not a regular file, sets
/// `summary.error` and is not read. Returns `graded`, never the states that grading tells apart
/// afterwards. A renderer's failure never stops it.
submission_state grade_submission(const run_request& request, std::span<const case_result> cases,
                                  const run_summary& input, std::span<const renderer_slot> slots,
                                  run_summary& summary);
