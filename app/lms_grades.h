// A class run's grades handed to a learning management system: the roster read before any
// submission is graded, and after grading each submission matched to its student and the
// grades written in that system's import layout, published with the run's other files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/gradebook.h"
#include "app/options.h"
#include "checker/gradebook.h"
#include "checker/roster.h"
#include "render/atomic_file.h"
#include "render/text_out.h"

struct lms_grades {
  lms_roster roster;
  std::string assignment;  // the title of the column the grades go into
  atomic_file file;        // --lms-csv, completed but not yet renamed into place
};

/// Reads --roster and, with --lms-csv, chooses the assignment column; the failure line naming
/// the file, line and token, or an empty text.
std::string read_lms_roster(const command_line& cl, lms_grades& lms);

/// Matches `submissions` (with their `rows`, in the same order) to the roster; lists each
/// submission that is nobody's or shares its student, and each student without a submission,
/// on standard error (unless `console` is standard error) and under the class summary on
/// `console`; and with --lms-csv writes the grades into its temporary file. The failure line,
/// or an empty text.
std::string write_lms_grades(const command_line& cl, lms_grades& lms,
                             const std::vector<class_submission>& submissions,
                             const std::vector<submission_row>& rows, text_out& console);
