#include "app/lms_grades.h"

#include "render/class_console.h"
#include "render/lms_csv.h"

std::string read_lms_roster(const command_line& cl, lms_grades& lms) {
  std::string failure = read_roster(cl.roster, lms.roster);
  if (failure.empty() && !cl.lms_csv.empty()) {
    failure = choose_assignment(lms.roster, cl.assignment, lms.assignment);
  }
  return failure;
}

std::string write_lms_grades(const command_line& cl, lms_grades& lms,
                             const std::vector<class_submission>& submissions,
                             const std::vector<submission_row>& rows, text_out& console) {
  std::vector<std::string> names;
  std::vector<std::string> paths;
  std::vector<std::int64_t> scores;
  for (std::size_t i = 0; i < submissions.size() && i < rows.size(); ++i) {
    names.push_back(submissions[i].named_as);
    paths.push_back(rows[i].path);
    scores.push_back(was_graded(rows[i].state) ? rows[i].score : -1);
  }
  const roster_match match = match_roster(lms.roster, names);
  const std::vector<std::string> notes = roster_notes(lms.roster, match, paths);
  if (console.file != stderr) {
    for (const std::string& note : notes) {
      std::fprintf(stderr, "hash_checker: %s\n", shown_path(note).c_str());
    }
  }
  put_roster_summary(console, lms.roster, match, notes);
  if (cl.lms_csv.empty()) return "";
  if (!lms.file.open(cl.lms_csv)) return "LMS CSV " + cl.lms_csv + " open failed";
  const std::vector<std::int64_t> grades =
      student_grades(match, lms.roster.students.size(), scores, cl.points_hundredths);
  put_lms_csv(lms.file.out(), lms.roster, lms.assignment, cl.points_hundredths, grades);
  return lms.file.finish() ? "" : "LMS CSV " + cl.lms_csv + " write failed";
}
