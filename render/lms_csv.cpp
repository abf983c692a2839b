#include "render/lms_csv.h"

#include <string_view>

#include "render/class_console.h"
#include "render/gradebook_csv.h"

namespace {

template <typename Field>
void put_row(text_out& out, const lms_roster& roster, const std::vector<Field>& fields) {
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

void put_lms_csv(text_out& out, const lms_roster& roster, std::int64_t points_hundredths,
                 const std::vector<std::int64_t>& grades) {
  const bool moodle = roster.kind == lms_kind::moodle;
  // A course's own CSV goes back as plain UTF-8, as it came.
  if (!moodle && roster.kind != lms_kind::plain) put_text(out, "\xef\xbb\xbf");
  std::vector<std::string> titles = roster.kept_titles;
  if (!moodle) titles.push_back(roster.assignment);
  put_row(out, roster, titles);
  if (roster.kind == lms_kind::canvas && roster.points_possible) {
    titles.assign(roster.kept_titles.size() + 1, "");
    titles.front() = "    Points Possible";
    titles.back() = grade_text(points_hundredths);
    put_row(out, roster, titles);
  }
  for (std::size_t i = 0; i < roster.students.size(); ++i) {
    std::vector<std::string_view> fields = kept_fields(roster.students[i]);
    const std::string grade = i < grades.size() && grades[i] >= 0 ? grade_text(grades[i]) : "";
    if (moodle) {
      if (roster.grade_at < fields.size()) fields[roster.grade_at] = grade;
    } else {
      fields.emplace_back(grade);
    }
    put_row(out, roster, fields);
  }
}

std::vector<std::string> roster_notes(const lms_roster& roster, const roster_match& match,
                                      const std::vector<std::string>& reasons,
                                      const std::vector<std::string>& paths) {
  std::vector<std::string> notes;
  for (std::size_t s = 0; s < roster.students.size() && s < reasons.size(); ++s) {
    if (reasons[s].empty()) continue;
    const roster_student& student = roster.students[s];
    notes.push_back(student.name + " (" + student_label(roster, student) + "): " + reasons[s]);
  }
  for (std::size_t i = 0; i < match.notes.size() && i < paths.size(); ++i) {
    if (!match.notes[i].empty() && !is_receipt_note(match.notes[i])) {
      notes.push_back(paths[i] + ": " + match.notes[i]);
    }
  }
  return notes;
}

void put_roster_summary(text_out& out, const std::string& heading,
                        const std::vector<std::string>& notes) {
  put_text(out, "\nroster   " + shown_path(heading) + "\n");
  for (const std::string& note : notes) put_text(out, "  " + shown_path(note) + "\n");
}
