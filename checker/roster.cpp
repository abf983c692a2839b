#include "checker/roster.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unordered_map>

namespace {

constexpr std::string_view byte_order_mark = "\xef\xbb\xbf";
constexpr std::size_t shown_token = 40;  // bytes of a token quoted in a message

bool is_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// At most shown_token bytes of `text`, never ending inside a UTF-8 character nor reaching past
// the end of its line, quoted.
std::string quoted(std::string_view text) {
  std::size_t bytes = std::min({text.size(), shown_token, text.find_first_of("\r\n")});
  while (bytes > 0 && bytes < text.size() &&
         (static_cast<unsigned char>(text[bytes]) & 0xc0U) == 0x80U) {
    --bytes;
  }
  std::string shown(1, '"');
  shown.append(text.substr(0, bytes)).append(bytes < text.size() ? "...\"" : "\"");
  return shown;
}

std::string hex_byte(unsigned char byte) {
  std::string hex = "\\x00";
  hex[2] = "0123456789abcdef"[byte >> 4U];
  hex[3] = "0123456789abcdef"[byte & 0xfU];
  return hex;
}

// Length of the well-formed UTF-8 sequence starting `text` (no overlong form, no surrogate,
// nothing above U+10FFFF), or 0.
std::size_t utf8_length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(0);
  if (first < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (first >= 0xc2 && first <= 0xdf) {
    length = 2;
  } else if (first >= 0xe0 && first <= 0xef) {
    length = 3;
    if (first == 0xe0) low = 0xa0;
    if (first == 0xed) high = 0x9f;
  } else if (first >= 0xf0 && first <= 0xf4) {
    length = 4;
    if (first == 0xf0) low = 0x90;
    if (first == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xc0U) != 0x80U) return 0;
  }
  return length;
}

// Reads a roster's records one at a time, keeping count of lines.
class csv_records {
 public:
  csv_records(std::string_view text, const std::string& path) : text_(text), path_(path) {}

  // The next record into `fields`; false at the end or on a fault, which `error` then holds.
  bool next(std::vector<std::string>& fields) {
    fields.clear();
    while (at_ < text_.size() && (text_[at_] == '\n' || text_.substr(at_, 2) == "\r\n")) {
      at_ += text_[at_] == '\n' ? 1 : 2;  // blank lines hold no record
      ++line_;
    }
    if (at_ >= text_.size()) return false;
    record_line_ = line_;
    const std::size_t start = at_;
    for (;;) {
      std::string field;
      if (!read_field(field)) return false;
      if (fields.size() == roster_fields) return fail("more than 4096 fields", field);
      fields.push_back(std::move(field));
      if (at_ - start > roster_record_bytes) {
        return fail("a record longer than 65536 bytes", fields.front());
      }
      if (at_ >= text_.size()) return true;
      const char c = text_[at_++];
      if (c == ',') continue;
      if (c == '\r') ++at_;  // read_field let it through only before a line feed
      ++line_;
      return true;
    }
  }

  [[nodiscard]] const std::string& error() const { return error_; }
  [[nodiscard]] std::int64_t record_line() const { return record_line_; }

  // Fails with a line naming the file, the line being read and `token`.
  bool fail(const std::string& what, std::string_view token) { return fail_at(line_, what, token); }

  // The same for the record last read, by the line it began on.
  bool fail_record(const std::string& what, std::string_view token) {
    return fail_at(record_line_, what, token);
  }

 private:
  // One field, quoted or not, up to the comma or line end after it (not taken).
  bool read_field(std::string& field) {
    if (at_ < text_.size() && text_[at_] == '"') return read_quoted(field);
    const std::size_t end = text_.find_first_of(",\n\r", at_);
    field = text_.substr(at_, end == std::string_view::npos ? text_.size() - at_ : end - at_);
    at_ += field.size();
    if (at_ < text_.size() && text_[at_] == '\r' && text_.substr(at_, 2) != "\r\n") {
      return fail("a carriage return inside an unquoted field", field);
    }
    if (field.find('"') != std::string::npos) {
      return fail("a quote inside an unquoted field", field);
    }
    return checked(field);
  }

  bool read_quoted(std::string& field) {
    const std::int64_t opened = line_;
    ++at_;
    for (;;) {
      const std::size_t quote = text_.find('"', at_);
      if (quote == std::string_view::npos || quote - at_ > roster_record_bytes) {
        line_ = opened;
        return fail("a quoted field that is never closed", text_.substr(at_));
      }
      const std::string_view part = text_.substr(at_, quote - at_);
      line_ += std::count(part.begin(), part.end(), '\n');
      field += part;
      at_ = quote + 1;
      if (at_ < text_.size() && text_[at_] == '"') {
        field += '"';
        ++at_;
        continue;
      }
      break;
    }
    const bool ends = at_ >= text_.size() || text_[at_] == ',' || text_[at_] == '\n' ||
                      text_.substr(at_, 2) == "\r\n";
    if (!ends) return fail("text after a closing quote", text_.substr(at_, shown_token));
    return checked(field);
  }

  // Refuses control bytes (but tab, and line breaks inside quotes) and ill-formed UTF-8.
  bool checked(std::string_view field) {
    for (std::size_t i = 0; i < field.size();) {
      const auto byte = static_cast<unsigned char>(field[i]);
      const bool line_break = byte == '\n' || (byte == '\r' && field.substr(i, 2) == "\r\n");
      if ((byte < 0x20 && byte != '\t' && !line_break) || byte == 0x7f) {
        return fail_byte("a control byte", byte, field.substr(0, i));
      }
      const std::size_t length = utf8_length(field.substr(i));
      if (length == 0) return fail_byte("ill-formed UTF-8", byte, field.substr(0, i));
      i += length;
    }
    return true;
  }

  bool fail_at(std::int64_t line, const std::string& what, std::string_view token) {
    error_ = "Roster " + path_ + " line " + std::to_string(line) + ": " + what;
    if (!token.empty()) error_ += " " + quoted(token);
    return false;
  }

  // A byte refused inside a field, named with what comes before it.
  bool fail_byte(const std::string& what, unsigned char byte, std::string_view before) {
    if (before.empty()) return fail(what + " " + hex_byte(byte) + " at the start of a field", "");
    return fail(what + " " + hex_byte(byte) + " in a field, after", before);
  }

  std::string_view text_;
  const std::string& path_;
  std::size_t at_ = 0;
  std::int64_t line_ = 1;
  std::int64_t record_line_ = 1;
  std::string error_;
};

std::size_t column_of(const std::vector<std::string>& header, std::string_view title) {
  return static_cast<std::size_t>(std::find(header.begin(), header.end(), title) - header.begin());
}

// The title of a Canvas assignment column without its " (id)".
std::string_view canvas_title(std::string_view title) {
  const std::size_t open = title.rfind(" (");
  if (open == std::string_view::npos || !title.ends_with(')')) return {};
  if (!is_digits(title.substr(open + 2, title.size() - open - 3))) return {};
  return title.substr(0, open);
}

// The id after a Blackboard column's "|", or nothing.
std::string_view blackboard_id(std::string_view title) {
  const std::size_t bar = title.rfind('|');
  if (bar == std::string_view::npos || !is_digits(title.substr(bar + 1))) return {};
  return title.substr(bar + 1);
}

// The name of a Blackboard column, before " [Total Pts: ...]" or " |id".
std::string_view blackboard_title(std::string_view title) {
  std::size_t end = title.find(" [");
  if (end == std::string_view::npos) end = title.rfind(" |");
  return end == std::string_view::npos ? title : title.substr(0, end);
}

// How one system's roster is laid out.
struct layout {
  lms_kind kind;
  std::vector<std::size_t> kept;  // header columns kept, in order
  std::size_t id = 0;             // the column of the identifier
  std::size_t name = 0;           // the column that names a student
  std::size_t first_name = 0;     // Blackboard: joined before `name`
};

bool recognise(const std::vector<std::string>& header, layout& form) {
  const auto has = [&](std::string_view title) { return column_of(header, title) < header.size(); };
  const auto keep = [&](std::initializer_list<std::string_view> titles) {
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (std::find(titles.begin(), titles.end(), header[i]) != titles.end()) {
        form.kept.push_back(i);
      }
    }
  };
  if (header.size() >= 2 && header[0] == "Student" && header[1] == "ID") {
    form = {lms_kind::canvas, {}, 1, 0, 0};
    keep({"Student", "ID", "SIS User ID", "SIS Login ID", "Integration ID", "Root Account",
          "Section"});
    return true;
  }
  if (!header.empty() && header[0] == "Identifier" && has("Grade")) {
    form = {lms_kind::moodle, {}, 0, has("Full name") ? column_of(header, "Full name") : 0, 0};
    for (std::size_t i = 0; i < header.size(); ++i) form.kept.push_back(i);
    return true;
  }
  if (header.size() >= 3 && header[0] == "Last Name" && header[1] == "First Name" &&
      has("Username")) {
    form = {lms_kind::blackboard, {}, column_of(header, "Username"), 0, 1};
    keep({"Last Name", "First Name", "Username", "Student ID"});
    return true;
  }
  return false;
}

// The identifier of a row, or a failure line; an empty identifier of a Canvas row (its "Points
// Possible" and posting rows) marks a row that is no student.
bool row_id(const layout& form, const std::vector<std::string>& row, csv_records& records,
            std::string& id) {
  id = row[form.id];
  switch (form.kind) {
    case lms_kind::canvas:
      if (!id.empty() && !is_digits(id)) {
        return records.fail_record("an ID that is not a number", id);
      }
      return true;
    case lms_kind::moodle: {
      const std::size_t space = id.rfind(' ');
      const std::string_view number =
          space == std::string::npos ? std::string_view{} : std::string_view(id).substr(space + 1);
      if (!is_digits(number)) {
        return records.fail_record("an Identifier that does not end in a participant number", id);
      }
      id = number;
      return true;
    }
    case lms_kind::blackboard:
      if (id.empty()) return records.fail_record("an empty Username", row[0]);
      return true;
  }
  return true;
}

std::string student_name(const layout& form, const std::vector<std::string>& row) {
  if (form.kind == lms_kind::blackboard) return row[form.first_name] + " " + row[form.name];
  return row[form.name];
}

bool read_students(csv_records& records, const layout& form, std::size_t columns,
                   lms_roster& roster) {
  std::unordered_map<std::string, std::int64_t> lines;  // identifier -> line it stands on
  std::vector<std::string> row;
  while (records.next(row)) {
    if (row.size() != columns) {
      return records.fail_record(std::to_string(row.size()) + " fields where the header has " +
                                     std::to_string(columns) + ", beginning",
                                 row[0]);
    }
    std::string id;
    if (!row_id(form, row, records, id)) return false;
    if (id.empty()) {
      const std::size_t first = row[0].find_first_not_of(' ');
      if (first != std::string::npos && row[0].substr(first) == "Points Possible") {
        roster.points_possible = true;
      }
      continue;
    }
    const auto [seen, fresh] = lines.try_emplace(id, records.record_line());
    if (!fresh) {
      return records.fail_record(
          "identifier given before, on line " + std::to_string(seen->second) + ":", id);
    }
    roster_student student{id, student_name(form, row), {}};
    student.kept.reserve(form.kept.size());
    for (const std::size_t column : form.kept) student.kept.push_back(std::move(row[column]));
    roster.students.push_back(std::move(student));
  }
  return records.error().empty();
}

bool all_fit(std::string_view name, std::size_t from, std::size_t count) {
  return name.size() >= from + count &&
         std::all_of(name.begin() + static_cast<std::ptrdiff_t>(from),
                     name.begin() + static_cast<std::ptrdiff_t>(from + count),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// "yyyy-mm-dd-hh-mm-ss" at the start of `text`.
bool starts_with_date(std::string_view text) {
  if (text.size() < 19) return false;
  for (std::size_t i = 0; i < 19; ++i) {
    const bool dash = i == 4 || i == 7 || i == 10 || i == 13 || i == 16;
    if (dash ? text[i] != '-' : !all_fit(text, i, 1)) return false;
  }
  return true;
}

std::vector<std::string> canvas_identifiers(std::string_view name) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0; parts.size() < 5;) {
    const std::size_t bar = name.find('_', at);
    parts.push_back(name.substr(at, bar == std::string_view::npos ? name.size() - at : bar - at));
    if (bar == std::string_view::npos) break;
    at = bar + 1;
  }
  std::size_t user = 1;
  if (parts.size() > 1 && (parts[1] == "LATE" || parts[1] == "late")) user = 2;
  if (parts.size() < user + 3 || !is_digits(parts[user]) || !is_digits(parts[user + 1])) return {};
  return {std::string(parts[user])};
}

std::vector<std::string> moodle_identifiers(std::string_view name) {
  const std::size_t mark = name.find("_assignsubmission_");
  if (mark == std::string_view::npos) return {};
  const std::size_t bar = name.rfind('_', mark == 0 ? 0 : mark - 1);
  const std::size_t from = bar == std::string_view::npos || bar >= mark ? 0 : bar + 1;
  const std::string_view number = name.substr(from, mark - from);
  if (!is_digits(number) || from == 0) return {};
  return {std::string(number)};
}

std::vector<std::string> blackboard_identifiers(std::string_view name) {
  constexpr std::string_view mark = "_attempt_";
  std::size_t at = name.find(mark);
  while (at != std::string_view::npos && !starts_with_date(name.substr(at + mark.size()))) {
    at = name.find(mark, at + 1);
  }
  if (at == std::string_view::npos) return {};
  const std::string_view before = name.substr(0, at);
  std::vector<std::string> candidates;
  for (std::size_t bar = before.find('_'); bar != std::string_view::npos;
       bar = before.find('_', bar + 1)) {
    if (bar + 1 < before.size()) candidates.emplace_back(before.substr(bar + 1));
  }
  return candidates;
}

}  // namespace

std::string_view lms_name(lms_kind kind) {
  switch (kind) {
    case lms_kind::canvas:
      return "Canvas";
    case lms_kind::moodle:
      return "Moodle";
    case lms_kind::blackboard:
      return "Blackboard";
  }
  return "";
}

std::string parse_roster(std::string_view text, const std::string& path, lms_roster& roster) {
  roster = lms_roster{};
  roster.path = path;
  if (text.starts_with("\xff\xfe") || text.starts_with("\xfe\xff")) {
    return "Roster " + path + " line 1: the file is UTF-16; save it as CSV in UTF-8";
  }
  roster.byte_order_mark = text.starts_with(byte_order_mark);
  if (roster.byte_order_mark) text.remove_prefix(byte_order_mark.size());
  csv_records records(text, path);
  std::vector<std::string> header;
  if (!records.next(header)) {
    if (!records.error().empty()) return records.error();
    return "Roster " + path + " line 1: no header; the file is empty";
  }
  layout form{};
  if (!recognise(header, form)) {
    records.fail_record(
        "the header is none of a Canvas gradebook (Student,ID,...), a Moodle grading "
        "worksheet (Identifier,...,Grade,...) or a Blackboard Grade Center (Last Name,First "
        "Name,Username,...):",
        header[0]);
    return records.error();
  }
  roster.kind = form.kind;
  for (const std::size_t column : form.kept) roster.kept_titles.push_back(header[column]);
  roster.grade_at = column_of(roster.kept_titles, "Grade");
  for (const std::string& title : header) {
    const bool assignment = form.kind == lms_kind::canvas       ? !canvas_title(title).empty()
                            : form.kind == lms_kind::blackboard ? !blackboard_id(title).empty()
                                                                : false;
    if (assignment) roster.assignments.push_back(title);
  }
  if (!read_students(records, form, header.size(), roster)) return records.error();
  return "";
}

std::string read_roster(const std::string& path, lms_roster& roster) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             std::fclose);
  if (!file) return "Roster " + path + " open failed";
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    text.append(buffer, got);
    if (text.size() > roster_bytes) return "Roster " + path + " is longer than 64 MiB";
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get()) != 0) return "Roster " + path + " read failed";
  return parse_roster(text, path, roster);
}

std::vector<std::string> identifiers_in_name(lms_kind kind, std::string_view name) {
  while (name.ends_with('/')) name.remove_suffix(1);
  const std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  switch (kind) {
    case lms_kind::canvas:
      return canvas_identifiers(name);
    case lms_kind::moodle:
      return moodle_identifiers(name);
    case lms_kind::blackboard:
      return blackboard_identifiers(name);
  }
  return {};
}

roster_match match_roster(const lms_roster& roster, const std::vector<std::string>& names) {
  std::unordered_map<std::string_view, std::int64_t> student_with;
  for (std::size_t i = 0; i < roster.students.size(); ++i) {
    student_with.emplace(roster.students[i].id, static_cast<std::int64_t>(i));
  }
  roster_match match;
  match.student_of.assign(names.size(), -1);
  std::vector<std::int64_t> submissions(roster.students.size(), 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::int64_t found = -1;
    bool several = false;
    for (const std::string& id : identifiers_in_name(roster.kind, names[i])) {
      const auto student = student_with.find(id);
      if (student == student_with.end() || student->second == found) continue;
      several = found >= 0;
      found = student->second;
    }
    if (found < 0 || several) {
      match.unmatched.push_back(i);
      continue;
    }
    match.student_of[i] = found;
    ++submissions[static_cast<std::size_t>(found)];
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::int64_t student = match.student_of[i];
    if (student < 0 || submissions[static_cast<std::size_t>(student)] == 1) continue;
    match.shared.push_back(i);
    match.student_of[i] = -1;
  }
  for (std::size_t s = 0; s < roster.students.size(); ++s) {
    if (submissions[s] == 0) match.without.push_back(s);
    if (submissions[s] == 1) ++match.matched;
  }
  return match;
}

std::string choose_assignment(const lms_roster& roster, const std::string& wanted,
                              std::string& title) {
  const std::string named = "Roster " + roster.path + ": ";
  if (roster.kind == lms_kind::moodle) {
    title = "Grade";
    if (wanted.empty()) return "";
    return named + "a Moodle grading worksheet is one assignment's; --assignment doesn't apply";
  }
  if (wanted.empty()) {
    if (roster.assignments.size() == 1) {
      title = roster.assignments.front();
      return "";
    }
    return named + "it has " + std::to_string(roster.assignments.size()) +
           " assignment columns; name one with --assignment=NAME";
  }
  std::vector<std::string> found;
  const bool canvas = roster.kind == lms_kind::canvas;
  const auto by = [&](auto&& key) {
    for (const std::string& column : roster.assignments) {
      if (key(column) == wanted) found.push_back(column);
    }
  };
  by([](std::string_view column) { return column; });
  if (found.empty() && !canvas) by(blackboard_id);
  if (found.empty()) by(canvas ? canvas_title : blackboard_title);
  if (found.size() > 1) {
    return named + "more than one assignment column is titled " + quoted(wanted) +
           "; name it with its id, as " + quoted(found[0]);
  }
  title = found.empty() ? wanted : found.front();
  return "";
}

std::vector<std::int64_t> student_grades(const roster_match& match, std::size_t students,
                                         const std::vector<std::int64_t>& scores,
                                         std::int64_t points_hundredths) {
  std::vector<std::int64_t> grades(students, -1);
  for (std::size_t i = 0; i < match.student_of.size() && i < scores.size(); ++i) {
    const std::int64_t student = match.student_of[i];
    if (student < 0 || scores[i] < 0) continue;
    grades[static_cast<std::size_t>(student)] = (scores[i] * points_hundredths + 50) / 100;
  }
  return grades;
}
