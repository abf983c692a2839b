// A course's roster as a learning management system exports it (Canvas's gradebook, Moodle's
// offline grading worksheet, Blackboard Learn's Grade Center), and which of a class's
// submissions belongs to which student, told by the names that system gives the files it hands
// out. Nothing is guessed: a download goes to a student only when every piece of identity its
// name carries agrees with that student's row; any other download goes to nobody, with a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// `plain`: a course's own CSV with an `id` column (and, when it has one, a `name` column).
enum class lms_kind { canvas, moodle, blackboard, plain };

/// "Canvas", "Moodle", "Blackboard" or "CSV".
std::string_view lms_name(lms_kind kind);

/// The most a roster may hold; past them it is refused, so that its memory stays bounded.
inline constexpr std::size_t roster_bytes = std::size_t{64} << 20;
inline constexpr std::size_t roster_record_bytes = std::size_t{1} << 16;
inline constexpr std::size_t roster_fields = 4096;

/// One student: the identifier downloads are matched by, a name to list them by, and the fields
/// of the row that the system's import needs back (the kept columns, in order, each ended by a
/// NUL byte, which no field may hold: a row costs its bytes, not a string per field).
struct roster_student {
  std::string id;
  std::string name;
  std::string kept;
};

/// The kept fields of `student`, in order.
std::vector<std::string_view> kept_fields(const roster_student& student);

/// What the run asks of a roster's header, checked before any row is read: the grade column
/// named by `assignment` (exactly: Canvas "Title (id)" or "Title", Blackboard "Title [...] |id",
/// "Title" or "id") or a new one titled `new_column`; neither takes the roster's one assignment
/// column. `choose` is false when no import is written, and then nothing is chosen.
struct roster_request {
  bool choose = false;
  std::string assignment;
  std::string new_column;
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
  std::string assignment;        // the chosen grade column's title (with `choose`)
  bool new_column = false;       // it is a column the export doesn't have
  // The chosen column's maximum as the export gives it, in hundredths, or -1; and where it
  // was read, for messages: "Points Possible".
  std::int64_t points_hundredths = -1;
  std::string points_from;
  std::vector<roster_student> students;
  std::unordered_map<std::string, std::size_t> by_id;  // identifier -> student
};

/// How reading a roster ended: `error` empty, or one line naming the file, the line and the
/// token at fault; `usage` when the fault is the command line's (a column that is not there),
/// which ends the run with the usage status.
struct roster_outcome {
  std::string error;
  bool usage = false;
};

/// Reads the CSV roster at `path` ("-" is standard input) into `roster` in one streaming pass,
/// keeping the kept columns of each row and no more; the header is recognised and `request`
/// checked against it before any row is read. Refused: a file that can't be read or is UTF-16,
/// a header that is no known system's or repeats a title, a ragged row, a stray or unclosed
/// quote, a control byte, ill-formed UTF-8, a file longer than roster_bytes, a field or record
/// longer than roster_record_bytes or a record with more than roster_fields fields, an
/// identifier that is missing, malformed or given twice, a Moodle worksheet whose Maximum Grade
/// differs between rows. A UTF-8 byte-order mark at the start is skipped.
roster_outcome read_roster(const std::string& path, const roster_request& request,
                           lms_roster& roster);

/// The same over a roster's text, named `path` in its messages.
roster_outcome parse_roster(std::string_view text, const std::string& path,
                            const roster_request& request, lms_roster& roster);

/// How a student is named in messages: "Participant 7", "ID 101", "username bob", "id s17".
std::string student_label(const lms_roster& roster, const roster_student& student);

/// A download name matched to a student, or why not.
struct download_match {
  std::int64_t student = -1;            // index into roster.students, or -1
  std::string reason;                   // why no student, when -1: "no student has ID 105"
  std::vector<std::size_t> candidates;  // students it might be, when -1
};

/// Matches the last component of `name` (a downloaded file, or the folder that stands for it)
/// to one student of `roster`: Moodle "Full Name_<N>_assignsubmission_<plugin>_..." when
/// Participant N's full name is Full Name (the folder form read from the right, so a name may
/// hold the marker); Canvas "namepart[_LATE]_<ID>_<n>_<file>" when student ID's name, lower-cased
/// and letters only, is namepart; Blackboard "<assignment>_<username>_attempt_<date>..." when
/// <assignment> is a column of the roster and <username> exactly a student's; a plain CSV's
/// "<id>" or "<id>.<anything>" when <id> is exactly a student's. A name that fits no student, or
/// two, goes to nobody.
download_match match_download(const lms_roster& roster, std::string_view name);

/// Which download is whose. `student_of[i]` is the student of download i, or -1; `notes[i]` is
/// empty for a download that alone went to its student, else "not matched: REASON" or, for
/// each download of a student who has more than one, "not graded: two submissions for
/// Participant 7" (and then none of them counts). A Blackboard attempt receipt
/// ("..._attempt_<date>.txt") beside the student's other download is no second submission: its
/// note is "attempt receipt of username bob, beside the file that is graded" (is_receipt_note).
struct roster_match {
  std::vector<std::int64_t> student_of;
  std::vector<std::string> notes;
  std::vector<std::vector<std::size_t>> candidates;  // per download not matched
  std::vector<std::int64_t> downloads_of;            // per student: downloads matched to them
};

/// True for the note of an attempt receipt set aside, which is no fault of the class.
bool is_receipt_note(std::string_view note);

/// Matches each of `names` (what names each submission) to the students of `roster`.
roster_match match_roster(const lms_roster& roster, const std::vector<std::string>& names);

/// A graded submission's lines: `right` of `all`.
struct graded_fraction {
  std::int64_t right = 0;
  std::int64_t all = 0;
};

/// Each student's grade in hundredths of a point, or -1 for none: right / all of the one
/// submission matched to them times `points_hundredths`, rounded half up (20 of 21 on 20 points
/// is 19.05); none for a student without one or whose submission was not graded (`all` 0 or
/// below).
std::vector<std::int64_t> student_grades(const roster_match& match, std::size_t students,
                                         const std::vector<graded_fraction>& fractions,
                                         std::int64_t points_hundredths);

/// A number of points as an export writes it ("20", "20.00", "7.5") in hundredths; false for
/// anything else, for more than two significant decimals and for 0 or more than a million.
bool points_in_hundredths(std::string_view text, std::int64_t& hundredths);

/// Why each student got no grade ("" for those with one, `grades[s]` 0 or more): "no
/// submission"; the note of their downloads when they had several ("not graded: two submissions
/// for Participant 7"); "not graded: " and why for the one download that was not graded
/// (`not_graded[i]`, a state such as "open failed"); "not matched: PATH" when a download that
/// went to nobody might be theirs.
std::vector<std::string> student_reasons(const lms_roster& roster, const roster_match& match,
                                         const std::vector<std::int64_t>& grades,
                                         const std::vector<std::string>& not_graded,
                                         const std::vector<std::string>& paths);
