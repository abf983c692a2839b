// class.json: the totals of a class run, and where each submission's own JSON report went.
#pragma once

#include <span>
#include <string>

#include "checker/gradebook.h"
#include "render/text_out.h"

/// What class.json tells; the spans must hold one report name per row.
struct class_report {
  run_header header;  // version, input and answer file (output unused)
  std::string gradebook;
  run_summary input;  // the input's case totals, from read_all_cases
  class_totals totals;
  std::span<const submission_row> rows;
  std::span<const std::string> report_names;
  int status = 0;
};

/// One JSON document: the header, the input's case totals, the class totals (not_graded,
/// skipped_folders and left_out; mean, mean_all (those not graded as 0) and median as numbers
/// with one decimal, null with no graded submission; score_bands; strategies), `mistakes` (one
/// object per row of mistake_catalogue, in that order, with the submissions and lines naming it),
/// `case_strategies` (per case of the grid: graded submissions, and per strategy those right and
/// their whole_percent, null when none was graded), and a row object per submission with its
/// report file's name, its numbers (null when not graded) and `mistakes` (id: lines, for each
/// named).
void put_class_json(text_out& out, const class_report& report);
