// Grading one submission of a class run against the class's cases: its row, its notes for the
// console and its own report and page, left for the printing thread in the submission's slot.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/class_listing.h"
#include "app/options.h"
#include "app/report_factory.h"
#include "checker/failure.h"
#include "checker/gradebook.h"
#include "checker/reveal.h"
#include "checker/run.h"
#include "render/atomic_file.h"

/// A report the class run writes once per submission into its folder.
struct folder_reports {
  const report_kind* kind = nullptr;
  std::string folder;
  std::vector<std::string> names;  // one per submission
  std::vector<std::string> paths;  // the folder joined with each name
  // For a folder that did not exist, the folder beside it its files are written into under
  // their names and that is renamed into place whole; null where they are renamed one by one.
  std::unique_ptr<staging_folder> staging;

  /// Where the file `name` of the folder is written: in the staging folder, or empty to write it
  /// into its own temporary file beside its target.
  [[nodiscard]] std::string staged_path(std::string_view name) const;
};

/// Set up before the workers start; they only read it.
struct class_setup {
  run_header header;  // version, input and answer file, for every report
  run_summary input;  // the input's case totals
  std::vector<class_submission> submissions;
  std::vector<std::string> paths;       // each submission's path
  std::vector<folder_reports> folders;  // in the report table's order
  std::string class_page;  // the class's file the submissions' reports link back to, if any
  const command_line* cl = nullptr;  // the reports' own options
  bool diagnose = false;
  bool explain = false;
  bool fail_on_wrong = false;
  bool follow_links = false;
  std::size_t submission_bytes = 0;         // the most that grading one submission may take
  reveal_level reveal = reveal_level::all;  // of the submissions' reports; the class's show all
  // One input per student: each submission's own input, its path and its cases (none for one
  // not graded); empty when the class shares one input.
  std::vector<std::string> input_paths;
  std::vector<std::span<const case_result>> input_cases;
  std::vector<const run_summary*> input_totals;  // the case totals of each one's input
};

/// The most memory grading one submission against `cases` may take beyond the cases themselves
/// (every worker may be grading one at once, so the run asks for this times the workers):
/// for the largest case, the line read and the line judged at their longest and, when lines are
/// diagnosed, the sorted keys, slot indexes and lists of the diagnosis (about 24 bytes a key).
std::size_t submission_bytes_for(std::span<const case_result> cases, bool diagnose);

/// What a worker leaves for the printing thread in a submission's slot.
struct graded_slot {
  submission_row row;
  std::string notes;  // the --explain lines, dropped once printed
  // Its report in each folder, written whole and waiting to be renamed with the rest of the
  // run's files, and what failed when one could not be written.
  std::vector<std::unique_ptr<atomic_file>> files;
  std::vector<failure> lost;
};

/// Grades submission `index` against the class's cases as a checking run of that file alone
/// would, writing its report in each folder into temporary files left in `slot`. A submission that
/// can't have setup.submission_bytes gets a row saying so, and the class goes on without it.
void grade_one(const class_setup& setup, std::span<const case_result> cases, std::size_t index,
               graded_slot& slot);
