// A class run's grades handed to a learning management system: the roster read before any
// submission is graded, each download matched to its student before grading, and after grading
// the grades written in that system's import layout, published with the run's other files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/gradebook.h"
#include "app/options.h"
#include "checker/failure.h"
#include "checker/gradebook.h"
#include "checker/roster.h"
#include "render/atomic_file.h"
#include "render/text_out.h"

struct lms_grades {
  lms_roster roster;
  std::int64_t points_hundredths = 0;  // what all lines right is worth
  roster_match match;                  // of the class's downloads, made before grading
  atomic_file file;                    // --lms-csv, completed but not yet renamed into place
  std::string heading;                 // "Canvas canvas.csv: 3 of 4 students graded"
  std::vector<std::string> notes;      // every student without a grade, every download astray
};

/// Reads --roster, checking --assignment or --new-column against its header first, and with
/// --lms-csv settles the points: the export's own maximum, else --points; a --points that
/// disagrees with the export, or none where the export has none, is refused. Returns what failed:
/// a refusal of the command line (usage), a roster that can't be read, or nothing.
failure read_lms_roster(const command_line& cl, lms_grades& lms);

/// Matches each submission, by the name that stands for it, to the roster's students. True when
/// every download went to exactly one student who has no other.
bool match_lms_downloads(lms_grades& lms, const std::vector<class_submission>& submissions);

/// The line to show under a submission's row: why it went to nobody or counts for nothing, or
/// an empty text.
const std::string& lms_note(const lms_grades& lms, std::size_t submission);

/// The gradebook's student field of a submission: the student it went to, "Liddell, Alice (ID
/// 101)", or its note.
std::string lms_student(const lms_grades& lms, std::size_t submission);

/// After grading: lists each student without a grade and each download astray under the class
/// summary on `console`, and with --lms-csv writes every student's row into its temporary file.
/// What failed, if anything.
failure write_lms_grades(const command_line& cl, lms_grades& lms,
                         const std::vector<class_submission>& submissions,
                         const std::vector<submission_row>& rows, text_out& console);
