// Everything one class run holds, and the steps that open and finish its files: the session that
// app/gradebook.cpp drives from listing to the last rename.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/class_grading.h"
#include "app/class_listing.h"
#include "app/class_variants.h"
#include "app/file_guard.h"
#include "app/lms_grades.h"
#include "app/options.h"
#include "checker/failure.h"
#include "checker/gradebook.h"
#include "hashing/thread_start.h"
#include "render/atomic_file.h"
#include "render/text_out.h"

/// What the early sync of the report folders syncs, and whether it still runs: a sync held up
/// by a busy disk is not waited for, the next is skipped instead.
struct early_sync_work {
  std::vector<std::string> folders;
  std::atomic<bool> running{false};
};

/// Everything one class run holds, so that each step below reads as a line.
struct class_session {
  const command_line* cl = nullptr;
  class_setup setup;
  text_out console;
  bool color = false;
  std::vector<case_result> cases;
  atomic_file answer;
  bool answer_refused = false;  // the answer file could not be opened
  atomic_file gradebook;
  // The class's own file in each of setup.folders (class.json, index.html).
  std::vector<std::unique_ptr<atomic_file>> indexes;
  std::vector<graded_slot> slots;
  case_grid grid;                     // filled as each row is printed
  std::vector<std::string> failures;  // printed after the summary
  class_listing listing;              // its submissions moved into `setup`
  lms_grades lms;                     // --roster and --lms-csv
  bool lms_matched = true;            // every download went alone to one student
  class_variants variants;            // --variant-dir: each student's own input
  // The report folders' data sent to disk beside the grading every few hundred submissions, so
  // that the sync before the renames finds little left to write. Only a head start: that sync
  // decides. Declared last, so joined before anything it reads is gone.
  early_sync_work early_sync_of;
  helper_thread early_sync;
};

/// Starts a sync of the report folders' file systems on `s.early_sync` once every few hundred
/// submissions printed, when the last one is done (never on this thread: it would hold up the
/// printing).
void sync_ahead(class_session& s, std::size_t printed);

/// Every file the run reads or writes, for the guards: the answer file first, so that a clash
/// names the file read ("Input File x is the answer file y").
std::vector<guarded_file> files_of(const class_session& s);

/// The run's own files, which a listed folder never offers as a submission.
std::vector<own_file> own_files_of(const command_line& cl);

/// The folders the run writes reports into, with their reports' extension.
std::vector<report_folder> report_folders_of(const command_line& cl);

/// Creates the report folders and the temporary answer file and gradebook, and writes the answer
/// file whole; what failed, if anything.
failure open_outputs(class_session& s);

/// Three lines for each case that was built: what a class run may grade of each submission.
std::int64_t graded_lines(const std::vector<case_result>& cases);

/// The cases of the class's input, or with --variant-dir of its longest variant: the gradebook's
/// case columns.
std::size_t class_case_count(const class_session& s);

/// The most lines a submission of the class may have graded: of the input, or of the longest
/// variant.
std::int64_t class_lines(const class_session& s);

/// Completes the answer file (only after the console took everything), the gradebook and
/// index.html, ends the console, then completes class.json, so that the status it holds is the one
/// the run exits with, and renames every file of the run into place together, or none of them when
/// any could not be written or the console failed: the folder then holds the previous run's files,
/// whole. Each failure adds its line and makes the status 255. Returns the exit status.
int finish(class_session& s, const class_totals& totals, std::vector<submission_row>& rows);
