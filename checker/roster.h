// A course's roster as a learning management system exports it (Canvas's gradebook, Moodle's
// offline grading worksheet, Blackboard Learn's Grade Center), and which of a class's
// submissions belongs to which student, told by the identifier that system puts in the names of
// the files it hands out. Nothing is guessed: a name that gives no identifier, or one that is no
// student's or more than one student's, matches nobody.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class lms_kind { canvas, moodle, blackboard };

/// "Canvas", "Moodle" or "Blackboard".
std::string_view lms_name(lms_kind kind);

/// The most a roster may hold; past them it is refused, so that its memory stays bounded.
inline constexpr std::size_t roster_bytes = std::size_t{64} << 20;
inline constexpr std::size_t roster_record_bytes = std::size_t{1} << 16;
inline constexpr std::size_t roster_fields = 4096;

/// One student: the identifier submissions are matched by, a name to list them by, and the
/// fields of the row that the system's import needs back (the kept columns, in order).
struct roster_student {
  std::string id;
  std::string name;
  std::vector<std::string> kept;
};

/// A roster as read. Canvas and Blackboard keep the columns their imports match a student by
/// and give the grade its own column after them; Moodle keeps the whole worksheet row, since
/// its upload wants the row as it was handed out, and the grade goes into its "Grade" column.
struct lms_roster {
  lms_kind kind = lms_kind::canvas;
  std::string path;
  bool byte_order_mark = false;          // the file began with one
  std::vector<std::string> kept_titles;  // titles of the kept columns
  std::size_t grade_at = 0;              // Moodle: the kept column of the grade
  // Canvas and Blackboard: the titles of the assignment columns ("Title (id)", "Title |id").
  std::vector<std::string> assignments;
  bool points_possible = false;  // Canvas: the export held a "Points Possible" row
  std::vector<roster_student> students;
};

/// Reads the CSV roster at `path` into `roster`. Returns an empty text, or one line naming the
/// file, the line and the token at fault: a file that can't be read or is UTF-16, a header that
/// is no known system's, a ragged row, a stray or unclosed quote, a control byte, ill-formed
/// UTF-8, a file longer than roster_bytes, a record longer than roster_record_bytes or with more
/// than roster_fields fields, an identifier that is missing, malformed or given twice. A UTF-8
/// byte-order mark at the start is skipped.
std::string read_roster(const std::string& path, lms_roster& roster);

/// The same over a roster's text, named `path` in its messages.
std::string parse_roster(std::string_view text, const std::string& path, lms_roster& roster);

/// The identifiers that `kind` may have put into a name it handed out (the last component of
/// `name`, a file or a folder): Canvas "lastfirst[_LATE]_<userid>_<attachmentid>_<name>" gives
/// the user id; Moodle "Full Name_<N>_assignsubmission_<plugin>_..." gives N (the number of
/// "Participant N"); Blackboard "<assignment>_<username>_attempt_<yyyy-mm-dd-hh-mm-ss>..."
/// gives each text after an underscore of "<assignment>_<username>", since either part may hold
/// underscores. None when the name is not of that form.
std::vector<std::string> identifiers_in_name(lms_kind kind, std::string_view name);

/// Which submission is whose. `student_of[i]` is the student of submission i, or -1: no
/// identifier in its name, no student or more than one with it, or its student has more than
/// one submission (then none of them counts).
struct roster_match {
  std::vector<std::int64_t> student_of;
  std::vector<std::size_t> unmatched;  // submissions that are nobody's, in order
  std::vector<std::size_t> shared;     // submissions of a student who has more than one
  std::vector<std::size_t> without;    // students without a submission, in roster order
  std::int64_t matched = 0;            // students with exactly one submission
};

/// Matches each of `names` (what names each submission: its file, or the folder that stands
/// for the one file in it) to the students of `roster`.
roster_match match_roster(const lms_roster& roster, const std::vector<std::string>& names);

/// Each student's grade in hundredths of a point, or -1 for none: the score (a percentage) of
/// the one submission matched to them scaled to `points_hundredths` and rounded half up; none
/// for a student without one or whose submission was not graded (`scores[i]` -1).
std::vector<std::int64_t> student_grades(const roster_match& match, std::size_t students,
                                         const std::vector<std::int64_t>& scores,
                                         std::int64_t points_hundredths);

/// The assignment column grades go into, by `wanted` (empty when not given): Canvas takes the
/// column titled `wanted`, else the one whose title before " (id)" is `wanted`; Blackboard the
/// column titled `wanted`, else the one whose id (after "|") is `wanted`, else the one whose
/// title before " [" or " |" is `wanted`. With no such column `wanted` names a new one; without
/// `wanted` the roster's one assignment column is taken. Moodle's worksheet is one
/// assignment's, so its "Grade" column is taken and `wanted` must be empty. `title` receives the
/// column's title; the result is an empty text or the line saying why no column can be chosen.
std::string choose_assignment(const lms_roster& roster, const std::string& wanted,
                              std::string& title);
