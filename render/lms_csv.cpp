#include "render/lms_csv.h"

#include <algorithm>
#include <iterator>

#include "render/class_console.h"
#include "render/gradebook_csv.h"

namespace {

void put_row(text_out& out, const lms_roster& roster, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) put_text(out, ",");
    if (roster.kind == lms_kind::blackboard) {
      put_quoted_csv_field(out, fields[i]);
    } else {
      put_csv_field(out, fields[i]);
    }
  }
  put_text(out, "\r\n");
}

// How a student is named in the notes: "Lee, Amy (ID 1234)".
std::string student_text(const lms_roster& roster, const roster_student& student) {
  constexpr std::string_view labels[] = {"ID ", "Participant ", "Username "};
  return student.name + " (" + std::string(labels[static_cast<int>(roster.kind)]) + student.id +
         ")";
}

}  // namespace

std::string grade_text(std::int64_t hundredths) {
  std::string text = std::to_string(hundredths / 100);
  const std::int64_t cents = hundredths % 100;
  if (cents != 0) {
    text += '.';
    text += static_cast<char>('0' + cents / 10);
    if (cents % 10 != 0) text += static_cast<char>('0' + cents % 10);
  }
  return text;
}

void put_lms_csv(text_out& out, const lms_roster& roster, const std::string& assignment,
                 std::int64_t points_hundredths, const std::vector<std::int64_t>& grades) {
  const bool moodle = roster.kind == lms_kind::moodle;
  if (!moodle) put_text(out, "\xef\xbb\xbf");
  std::vector<std::string> fields = roster.kept_titles;
  if (!moodle) fields.push_back(assignment);
  put_row(out, roster, fields);
  if (roster.kind == lms_kind::canvas && roster.points_possible) {
    fields.assign(roster.kept_titles.size() + 1, "");
    fields.front() = "    Points Possible";
    fields.back() = grade_text(points_hundredths);
    put_row(out, roster, fields);
  }
  for (std::size_t i = 0; i < roster.students.size() && i < grades.size(); ++i) {
    if (grades[i] < 0) continue;
    fields = roster.students[i].kept;
    if (moodle) {
      fields[roster.grade_at] = grade_text(grades[i]);
    } else {
      fields.push_back(grade_text(grades[i]));
    }
    put_row(out, roster, fields);
  }
}

std::vector<std::string> roster_notes(const lms_roster& roster, const roster_match& match,
                                      const std::vector<std::string>& paths) {
  std::vector<std::string> notes;
  const auto add = [&](const std::vector<std::size_t>& which, const auto& line) {
    std::transform(which.begin(), which.end(), std::back_inserter(notes), line);
  };
  add(match.unmatched, [&](std::size_t i) { return "no student in the roster for " + paths[i]; });
  add(match.shared, [&](std::size_t i) {
    return "more than one submission of the same student, none graded: " + paths[i];
  });
  add(match.without, [&](std::size_t s) {
    return "no submission from " + student_text(roster, roster.students[s]);
  });
  return notes;
}

void put_roster_summary(text_out& out, const lms_roster& roster, const roster_match& match,
                        const std::vector<std::string>& notes) {
  put_text(out, "\nroster   " + std::string(lms_name(roster.kind)) + " " + shown_path(roster.path) +
                    ": ");
  put_number(out, match.matched);
  put_text(out, " of ");
  put_number(out, static_cast<std::int64_t>(roster.students.size()));
  put_text(out, " students matched to one submission\n");
  for (const std::string& note : notes) put_text(out, "  " + shown_path(note) + "\n");
}
