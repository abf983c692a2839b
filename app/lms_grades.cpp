#include "app/lms_grades.h"

#include <algorithm>
#include <iterator>

#include "hashing/program_limits.h"
#include "render/class_console.h"
#include "render/lms_csv.h"

namespace {

// The points grades are scaled to; the failure line when they can't be settled.
std::string settle_points(const command_line& cl, lms_grades& lms) {
  const lms_roster& roster = lms.roster;
  const std::string from = std::string(lms_name(roster.kind)) + " " + roster.path;
  if (roster.points_hundredths < 0) {
    if (!cl.points_given) {
      return "hash_checker: " + from + " gives no maximum for \"" + roster.assignment +
             "\"; give it with --points=N";
    }
    lms.points_hundredths = cl.points_hundredths;
    return "";
  }
  if (cl.points_given && cl.points_hundredths != roster.points_hundredths) {
    return "hash_checker: --points=" + grade_text(cl.points_hundredths) + " disagrees with " +
           from + ", whose " + roster.points_from + " is the maximum of \"" + roster.assignment +
           "\"; leave --points out or make them agree";
  }
  lms.points_hundredths = roster.points_hundredths;
  return "";
}

}  // namespace

failure read_lms_roster(const command_line& cl, lms_grades& lms) {
  const roster_request request{!cl.lms_csv.empty(), cl.assignment, cl.new_column};
  const roster_outcome read = read_roster(cl.roster, request, lms.roster);
  if (!read.error.empty()) return {read.error, read.usage};
  if (cl.lms_csv.empty()) return {};
  return {settle_points(cl, lms), true};
}

bool match_lms_downloads(lms_grades& lms, const std::vector<class_submission>& submissions) {
  std::vector<std::string> names;
  names.reserve(submissions.size());
  std::transform(submissions.begin(), submissions.end(), std::back_inserter(names),
                 [](const class_submission& submission) { return submission.named_as; });
  lms.match = match_roster(lms.roster, names);
  return std::all_of(lms.match.notes.begin(), lms.match.notes.end(),
                     [](const std::string& note) { return note.empty() || is_receipt_note(note); });
}

const std::string& lms_note(const lms_grades& lms, std::size_t submission) {
  static const std::string none;
  return submission < lms.match.notes.size() ? lms.match.notes[submission] : none;
}

std::string lms_student(const lms_grades& lms, std::size_t submission) {
  const std::string& note = lms_note(lms, submission);
  if (!note.empty() || submission >= lms.match.student_of.size()) return note;
  const roster_student& student =
      lms.roster.students[static_cast<std::size_t>(lms.match.student_of[submission])];
  return student.name + " (" + student_label(lms.roster, student) + ")";
}

failure write_lms_grades(const command_line& cl, lms_grades& lms,
                         const std::vector<class_submission>& submissions,
                         const std::vector<submission_row>& rows, text_out& console) {
  std::vector<std::string> paths;
  std::vector<std::string> not_graded;
  std::vector<graded_fraction> fractions;
  for (std::size_t i = 0; i < submissions.size() && i < rows.size(); ++i) {
    const bool graded = was_graded(rows[i].state);
    paths.push_back(rows[i].path);
    not_graded.push_back(graded ? "" : std::string(state_text(rows[i].state)));
    if (!submissions[i].pick_note.empty()) not_graded.back() = submissions[i].pick_note;
    fractions.push_back(graded ? graded_fraction{rows[i].right, rows[i].all} : graded_fraction{});
  }
  const std::vector<std::int64_t> grades =
      student_grades(lms.match, lms.roster.students.size(), fractions, lms.points_hundredths);
  const std::vector<std::string> reasons =
      student_reasons(lms.roster, lms.match, grades, not_graded, paths);
  lms.notes = roster_notes(lms.roster, lms.match, reasons, paths);
  const auto graded = static_cast<std::int64_t>(
      std::count_if(grades.begin(), grades.end(), [](std::int64_t grade) { return grade >= 0; }));
  lms.heading = std::string(lms_name(lms.roster.kind)) + " " + lms.roster.path + ": " +
                std::to_string(graded) + " of " + std::to_string(lms.roster.students.size()) +
                " students graded";
  put_roster_summary(console, lms.heading, lms.notes);
  if (cl.lms_csv.empty()) return {};
  if (!lms.file.open(cl.lms_csv)) return file_failure("LMS CSV", cl.lms_csv, file_step::open);
  put_lms_csv(lms.file.out(), lms.roster, lms.points_hundredths, grades);
  if (lms.file.finish()) return {};
  return file_failure("LMS CSV", cl.lms_csv, file_step::write);
}
