// Fuzz target for rosters: any bytes, after a first byte that picks what is asked of the header,
// go through parse_roster; every student read is then matched by the download name their system
// would give them. Aborts, naming the property, when a refusal is not one line, a roster read
// breaks its own invariants, or a download name goes to another student without a word.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "checker/roster.h"

namespace {

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "roster_fuzzer: property broken: %s\n", property);
  std::abort();
}

// Canvas's name part: the letters of a name, lower-cased.
std::string letters_of(std::string_view name) {
  std::string part;
  for (const char c : name) {
    if (c >= 'A' && c <= 'Z') part += static_cast<char>(c - 'A' + 'a');
    if (c >= 'a' && c <= 'z') part += c;
  }
  return part;
}

// The name the student's system gives their download.
std::string download_name(const lms_roster& roster, const roster_student& student) {
  switch (roster.kind) {
    case lms_kind::canvas:
      return letters_of(student.name) + "_" + student.id + "_1_out.txt";
    case lms_kind::moodle:
      return student.name + "_" + student.id + "_assignsubmission_file_";
    case lms_kind::plain:
      return student.id + ".txt";
    case lms_kind::blackboard:
      break;
  }
  std::string title = roster.assignments.empty() ? "" : roster.assignments.front();
  const std::size_t end =
      title.find(" [") != std::string::npos ? title.find(" [") : title.rfind(" |");
  return title.substr(0, end) + "_" + student.id + "_attempt_2026-12-07-21-12-00_out.txt";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  roster_request request;
  request.choose = (data[0] & 1U) != 0;
  if ((data[0] & 2U) != 0) request.assignment = "Hash Tables";
  if ((data[0] & 4U) != 0) request.new_column = "Lab";
  lms_roster roster;
  const roster_outcome read = parse_roster(text, "r.csv", request, roster);
  require(read.error.find_first_of("\r\n") == std::string::npos, "a refusal is one line");
  require(read.error.empty() || read.error.starts_with("Roster r.csv"), "a refusal names the file");
  if (!read.error.empty()) return 0;
  require(roster.by_id.size() == roster.students.size(), "every identifier is a student's once");
  for (std::size_t s = 0; s < roster.students.size(); ++s) {
    const roster_student& student = roster.students[s];
    require(!student.id.empty(), "a student has an identifier");
    require(kept_fields(student).size() == roster.kept_titles.size(), "a row keeps every column");
    const download_match match = match_download(roster, download_name(roster, student));
    require(match.student < 0 || static_cast<std::size_t>(match.student) == s,
            "a download goes to the student it names");
    require(match.student >= 0 || !match.reason.empty(), "a download astray says why");
  }
  return 0;
}
