// Grades written back in the layout a learning management system imports (Canvas's gradebook,
// Moodle's grading worksheet, Blackboard's Grade Center), and the lines that say which
// submissions and students were left without a grade.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "checker/roster.h"
#include "render/text_out.h"

/// A grade in hundredths as the importers read it: "7.5", "10", "0.33".
std::string grade_text(std::int64_t hundredths);

/// The import file: Canvas and Blackboard the kept student columns and then `assignment`'s;
/// Moodle the worksheet's own columns with the grade in "Grade". One row for each student with
/// a grade (`grades[i]` 0 or more), in roster order, so that nobody else's grade changes;
/// Canvas's "Points Possible" row (with `points_hundredths`) when the export had one. Fields are
/// guarded and escaped as put_csv_field does; Blackboard's are all quoted. Canvas and Blackboard
/// files begin with a UTF-8 byte-order mark, Moodle's don't; rows end in CR LF.
void put_lms_csv(text_out& out, const lms_roster& roster, const std::string& assignment,
                 std::int64_t points_hundredths, const std::vector<std::int64_t>& grades);

/// One line for each submission that no student has or that shares its student with another,
/// and for each student without a submission, naming them by `paths` and by name and
/// identifier: "no student in the roster for class/x.txt".
std::vector<std::string> roster_notes(const lms_roster& roster, const roster_match& match,
                                      const std::vector<std::string>& paths);

/// The class summary's lines on the roster: the system, how many students got a grade, and the
/// notes, each shown safe for a terminal.
void put_roster_summary(text_out& out, const lms_roster& roster, const roster_match& match,
                        const std::vector<std::string>& notes);
