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

/// The import file: Canvas and Blackboard the kept student columns and then the roster's chosen
/// assignment column; Moodle the worksheet's own columns with the grade in "Grade". One row for
/// every student, in roster order, the grade empty for a student without one (`grades[i]` -1);
/// Canvas's "Points Possible" row (with `points_hundredths`) when the export had one. Fields are
/// guarded and escaped as put_csv_field does; Blackboard's are all quoted. Canvas and Blackboard
/// files begin with a UTF-8 byte-order mark, Moodle's don't; rows end in CR LF.
void put_lms_csv(text_out& out, const lms_roster& roster, std::int64_t points_hundredths,
                 const std::vector<std::int64_t>& grades);

/// One line for each student without a grade, "Lee, Amy (ID 1234): no submission", in roster
/// order (`reasons` as student_reasons gives them), then one for each download that went to
/// nobody or shares its student, "class/x.txt: not matched: REASON" (`paths` naming them); an
/// attempt receipt set aside is no such download.
std::vector<std::string> roster_notes(const lms_roster& roster, const roster_match& match,
                                      const std::vector<std::string>& reasons,
                                      const std::vector<std::string>& paths);

/// The class summary's lines on the roster: `heading` (the system, how many students got a
/// grade) and the notes, each shown safe for a terminal.
void put_roster_summary(text_out& out, const std::string& heading,
                        const std::vector<std::string>& notes);
