#include "checker/roster.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <numeric>
#include <unordered_map>
#include <utility>

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

// 70000 as "70,000".
std::string grouped(std::size_t number) {
  const std::string digits = std::to_string(number);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

// The bytes of a roster, from a text or a file read in blocks, so that a file costs one block.
class byte_source {
 public:
  explicit byte_source(std::string_view text) : view_(text), total_(text.size()) {}
  explicit byte_source(std::FILE* file) : file_(file) { refill(); }

  // The next byte, or -1 at the end (or at a fault, which failed() or too_long() then tell).
  int get() {
    if (at_ == view_.size() && !refill()) return -1;
    return static_cast<unsigned char>(view_[at_++]);
  }
  int peek() {
    if (at_ == view_.size() && !refill()) return -1;
    return static_cast<unsigned char>(view_[at_]);
  }
  // Whether the bytes not yet taken begin with `text` (of the first block, for a file).
  [[nodiscard]] bool starts_with(std::string_view text) const {
    return view_.substr(at_).starts_with(text);
  }
  void skip(std::size_t bytes) { at_ = std::min(view_.size(), at_ + bytes); }
  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] bool too_long() const { return total_ > roster_bytes; }

 private:
  bool refill() {
    if (file_ == nullptr || too_long()) return false;
    const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (got == 0) {
      failed_ = std::ferror(file_) != 0;
      return false;
    }
    total_ += got;
    view_ = std::string_view(buffer_.data(), got);
    at_ = 0;
    return !too_long();
  }

  std::string_view view_;
  std::size_t at_ = 0;
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_ = std::vector<char>(std::size_t{1} << 16);
  std::size_t total_ = 0;
  bool failed_ = false;
};

// Reads a roster's records one at a time, keeping count of lines. A field or record longer than
// roster_record_bytes is counted to its end but not kept.
class csv_records {
 public:
  csv_records(byte_source& source, const std::string& path) : source_(source), path_(path) {}

  // The next record into `fields`; false at the end or on a fault, which `error` then holds.
  bool next(std::vector<std::string>& fields) {
    fields.clear();
    if (!skip_blank_lines()) return false;
    if (source_.peek() < 0) {
      at_end();  // a fault there leaves its line in error_
      return false;
    }
    record_line_ = line_;
    std::size_t record_bytes = 0;
    for (;;) {
      std::string field;
      int end = 0;
      if (!read_field(field, end)) return false;
      if (fields.size() == roster_fields) return fail("more than 4096 fields", field);
      record_bytes += field.size() + 1;
      if (record_bytes > roster_record_bytes + 1) {
        return fail_plain("record at line " + std::to_string(record_line_) + " is longer than " +
                          grouped(roster_record_bytes) + " bytes (limit " +
                          grouped(roster_record_bytes) + ")");
      }
      fields.push_back(std::move(field));
      if (end == ',') continue;
      if (end == '\n') ++line_;
      return end >= 0 || at_end();
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
  // True at a clean end of the file; else fails naming the fault.
  bool at_end() {
    if (source_.too_long()) {
      return fail_plain("the file is longer than 64 MiB (limit " + grouped(roster_bytes) +
                        " bytes)");
    }
    if (source_.failed()) return fail_plain("read failed at line " + std::to_string(line_));
    return true;
  }

  bool skip_blank_lines() {
    for (;;) {
      const int c = source_.peek();
      if (c == '\n') {
        source_.get();
        ++line_;
      } else if (c == '\r') {
        source_.get();
        if (source_.peek() != '\n') return fail("a carriage return inside an unquoted field", "");
      } else {
        return true;
      }
    }
  }

  // One field, quoted or not, and what ended it into `end`: ',', '\n' (a CR LF too) or -1.
  bool read_field(std::string& field, int& end) {
    if (source_.peek() == '"') return read_quoted(field, end);
    std::size_t bytes = 0;
    for (;;) {
      const int c = source_.peek();
      if (c < 0 || c == ',' || c == '\n' || c == '\r') break;
      source_.get();
      keep(field, bytes, c);
    }
    if (!ending(end)) return fail("a carriage return inside an unquoted field", field);
    if (bytes > roster_record_bytes) return too_long(line_, bytes);
    if (field.find('"') != std::string::npos) {
      return fail("a quote inside an unquoted field", field);
    }
    return checked(field);
  }

  bool read_quoted(std::string& field, int& end) {
    const std::int64_t opened = line_;
    source_.get();
    std::size_t bytes = 0;
    for (;;) {
      const int c = source_.get();
      if (c < 0) {
        if (source_.too_long() || source_.failed()) return at_end();
        line_ = opened;
        return fail("a quoted field that is never closed", field);
      }
      if (c == '"' && source_.peek() != '"') break;
      if (c == '"') source_.get();
      if (c == '\n') ++line_;
      keep(field, bytes, c);
    }
    if (!ending(end)) {
      std::string after;
      for (int c = source_.get(); c >= 0 && after.size() < shown_token; c = source_.get()) {
        after += static_cast<char>(c);
      }
      return fail("text after a closing quote", after);
    }
    if (bytes > roster_record_bytes) return too_long(opened, bytes);
    return checked(field);
  }

  // Keeps byte `c` of a field while it is within bounds, and counts it.
  static void keep(std::string& field, std::size_t& bytes, int c) {
    if (++bytes <= roster_record_bytes) field += static_cast<char>(c);
  }

  // Takes what ends a field: a comma, a line feed, a CR LF or the end of the file.
  bool ending(int& end) {
    end = source_.peek();
    if (end < 0) return true;
    if (end == ',' || end == '\n') {
      source_.get();
      return true;
    }
    if (end != '\r') return false;
    source_.get();
    end = source_.get();
    return end == '\n';
  }

  bool too_long(std::int64_t line, std::size_t bytes) {
    return fail_plain("field at line " + std::to_string(line) + " is " + grouped(bytes) +
                      " bytes (limit " + grouped(roster_record_bytes) + ")");
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

  bool fail_plain(const std::string& what) {
    error_ = "Roster " + path_ + ": " + what;
    return false;
  }

  // A byte refused inside a field, named with what comes before it.
  bool fail_byte(const std::string& what, unsigned char byte, std::string_view before) {
    if (before.empty()) return fail(what + " " + hex_byte(byte) + " at the start of a field", "");
    return fail(what + " " + hex_byte(byte) + " in a field, after", before);
  }

  byte_source& source_;
  const std::string& path_;
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

// The id of a Canvas assignment column, inside its " (id)".
std::string_view canvas_id(std::string_view title) {
  const std::string_view name = canvas_title(title);
  if (name.empty()) return {};
  return title.substr(name.size() + 2, title.size() - name.size() - 3);
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

// The N of a Blackboard title's "[Total Pts: N ...]", or nothing ("up to N" is a total's).
std::string_view blackboard_points(std::string_view title) {
  constexpr std::string_view mark = "[Total Pts: ";
  const std::size_t at = title.find(mark);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = title.substr(at + mark.size());
  return rest.substr(0, rest.find_first_of(" ]"));
}

// Titles that name a student, never an assignment, in any of the three systems.
bool is_identity_title(std::string_view title) {
  constexpr std::string_view identity[] = {
      "student",    "id",         "sis user id", "sis login id",  "integration id", "root account",
      "section",    "identifier", "full name",   "email address", "username",       "last name",
      "first name", "student id", "grade",       "maximum grade"};
  std::string lower(title);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return std::find(std::begin(identity), std::end(identity), lower) != std::end(identity);
}

// How one system's roster is laid out.
struct layout {
  lms_kind kind;
  std::vector<std::size_t> kept;               // header columns kept, in order
  std::size_t id = 0;                          // the column of the identifier
  std::size_t name = 0;                        // the column that names a student
  std::size_t first_name = 0;                  // Blackboard: joined before `name`
  std::size_t assignment = std::string::npos;  // the chosen grade column in the header
  std::size_t maximum = std::string::npos;     // Moodle: "Maximum Grade"
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
    form.maximum = column_of(header, "Maximum Grade");
    return true;
  }
  if (header.size() >= 3 && header[0] == "Last Name" && header[1] == "First Name" &&
      has("Username")) {
    form = {lms_kind::blackboard, {}, column_of(header, "Username"), 0, 1};
    keep({"Last Name", "First Name", "Username", "Student ID"});
    return true;
  }
  if (has("id")) {
    form = {lms_kind::plain, {}, column_of(header, "id"), column_of(header, "id"), 0};
    if (has("name")) form.name = column_of(header, "name");
    keep({"id", "name"});
    return true;
  }
  return false;
}

// A title given twice in the header; false with the failure line.
bool titles_once(const std::vector<std::string>& header, csv_records& records) {
  std::unordered_map<std::string_view, std::size_t> seen;
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i].empty()) continue;
    const auto [first, fresh] = seen.try_emplace(header[i], i);
    if (!fresh) {
      return records.fail_record("the header repeats the title " + quoted(header[i]) +
                                     " (columns " + std::to_string(first->second + 1) + " and " +
                                     std::to_string(i + 1) + ")",
                                 "");
    }
  }
  return true;
}

// `names`, quoted and joined for a message, at most a dozen of them.
std::string listed(const std::vector<std::string>& names) {
  constexpr std::size_t shown = 12;
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
    text += (i == 0 ? "" : ", ") + quoted(names[i]);
  }
  if (names.size() > shown) text += " and " + std::to_string(names.size() - shown) + " more";
  return names.empty() ? "none" : text;
}

// The grade column `request` names, checked against the header alone: its header column into
// `form.assignment` (none for a new column), its title into `roster.assignment`.
roster_outcome choose_column(const std::vector<std::string>& header, const roster_request& request,
                             layout& form, lms_roster& roster) {
  const std::string named = "Roster " + roster.path + ": ";
  const auto refused = [](std::string line) { return roster_outcome{std::move(line), true}; };
  if (roster.kind == lms_kind::moodle) {
    roster.assignment = "Grade";
    form.assignment = column_of(header, "Grade");
    if (request.assignment.empty() && request.new_column.empty()) return {};
    return refused(named +
                   "a Moodle grading worksheet is one assignment's; --assignment and "
                   "--new-column don't apply");
  }
  if (!request.new_column.empty()) {
    if (is_identity_title(request.new_column)) {
      return refused(named + quoted(request.new_column) +
                     " names a student, not an assignment; choose another --new-column title");
    }
    const bool taken = column_of(header, request.new_column) < header.size() ||
                       std::any_of(roster.assignments.begin(), roster.assignments.end(),
                                   [&](const std::string& column) {
                                     return canvas_title(column) == request.new_column ||
                                            blackboard_title(column) == request.new_column;
                                   });
    if (taken) {
      return refused(named + "it already has a column " + quoted(request.new_column) +
                     "; put the grades there with --assignment");
    }
    roster.assignment = request.new_column;
    roster.new_column = true;
    return {};
  }
  const std::string& wanted = request.assignment;
  std::vector<std::string> found;
  for (const std::string& column : roster.assignments) {
    const bool named_so =
        column == wanted ||
        (roster.kind == lms_kind::canvas
             ? canvas_title(column) == wanted || canvas_id(column) == wanted
             : blackboard_id(column) == wanted || blackboard_title(column) == wanted);
    if (named_so) found.push_back(column);
  }
  if (wanted.empty()) found = roster.assignments;
  if (found.size() == 1) {
    roster.assignment = found.front();
    form.assignment = column_of(header, found.front());
    return {};
  }
  if (found.size() > 1 && !wanted.empty()) {
    return refused(named + "more than one assignment column is called " + quoted(wanted) +
                   "; name it with its whole title, as " + quoted(found[0]));
  }
  std::string line = named;
  if (wanted.empty()) {
    line += "it has " + std::to_string(found.size()) +
            " grade columns; name one with "
            "--assignment=NAME";
  } else if (is_identity_title(wanted) || column_of(header, wanted) < header.size()) {
    line += quoted(wanted) + " is no grade column; name one with --assignment=NAME";
  } else {
    line += "no grade column is called " + quoted(wanted);
  }
  return refused(line + " (its grade columns: " + listed(roster.assignments) +
                 "; --new-column=TITLE adds one)");
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
    // A download is matched by its file name alone, so an identifier holding a '/' would be
    // matched by what follows the slash: another student's identifier.
    case lms_kind::blackboard:
      if (id.empty()) return records.fail_record("an empty Username", row[0]);
      if (id.find('/') != std::string::npos) return records.fail_record("a Username with a /", id);
      return true;
    case lms_kind::plain:
      if (id.empty()) return records.fail_record("an empty id", row[0]);
      if (id.find('/') != std::string::npos) return records.fail_record("an id with a /", id);
      return true;
  }
  return true;
}

std::string student_name(const layout& form, const std::vector<std::string>& row) {
  if (form.kind == lms_kind::blackboard) return row[form.first_name] + " " + row[form.name];
  return row[form.name];
}

// Takes the maximum a row gives the chosen column (Canvas's Points Possible row, each Moodle
// row's Maximum Grade); rows that disagree are refused.
bool take_points(std::string_view text, const std::string& from, csv_records& records,
                 lms_roster& roster) {
  std::int64_t points = 0;
  if (!points_in_hundredths(text, points)) return true;  // "(read only)", "-": no maximum given
  if (roster.points_hundredths >= 0 && roster.points_hundredths != points) {
    const std::string earlier = roster.points_from.substr(roster.points_from.rfind(' ') + 1);
    return records.fail_record(
        "a " + from + " of " + quoted(text) + " where an earlier row has " + quoted(earlier), "");
  }
  roster.points_hundredths = points;
  roster.points_from = from + " " + std::string(text);
  return true;
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
        if (form.assignment < columns &&
            !take_points(row[form.assignment], "Points Possible", records, roster)) {
          return false;
        }
      }
      continue;
    }
    if (form.maximum < columns &&
        !take_points(row[form.maximum], "Maximum Grade", records, roster)) {
      return false;
    }
    const auto [seen, fresh] = lines.try_emplace(id, records.record_line());
    if (!fresh) {
      return records.fail_record(
          "identifier given before, on line " + std::to_string(seen->second) + ":", id);
    }
    roster_student student{id, student_name(form, row), {}};
    for (const std::size_t column : form.kept) student.kept.append(row[column]).push_back('\0');
    student.kept.shrink_to_fit();
    roster.by_id.emplace(id, roster.students.size());
    roster.students.push_back(std::move(student));
  }
  return records.error().empty();
}

roster_outcome parse_source(byte_source& source, const std::string& path,
                            const roster_request& request, lms_roster& roster) {
  roster = lms_roster{};
  roster.path = path;
  if (source.starts_with("\xff\xfe") || source.starts_with("\xfe\xff")) {
    return {"Roster " + path + " line 1: the file is UTF-16; save it as CSV in UTF-8"};
  }
  roster.byte_order_mark = source.starts_with(byte_order_mark);
  if (roster.byte_order_mark) source.skip(byte_order_mark.size());
  csv_records records(source, path);
  std::vector<std::string> header;
  if (!records.next(header)) {
    if (!records.error().empty()) return {records.error()};
    return {"Roster " + path + " line 1: no header; the file is empty"};
  }
  layout form{};
  if (!recognise(header, form)) {
    records.fail_record(
        "the header is none of a Canvas gradebook (Student,ID,...), a Moodle grading "
        "worksheet (Identifier,...,Grade,...) or a Blackboard Grade Center (Last Name,First "
        "Name,Username,...) nor a CSV with an id column:",
        header[0]);
    return {records.error()};
  }
  if (!titles_once(header, records)) return {records.error()};
  roster.kind = form.kind;
  for (const std::size_t column : form.kept) roster.kept_titles.push_back(header[column]);
  roster.grade_at = column_of(roster.kept_titles, "Grade");
  for (const std::string& title : header) {
    const bool assignment = form.kind == lms_kind::canvas       ? !canvas_title(title).empty()
                            : form.kind == lms_kind::blackboard ? !blackboard_id(title).empty()
                                                                : false;
    if (assignment) roster.assignments.push_back(title);
  }
  if (request.choose) {
    roster_outcome chosen = choose_column(header, request, form, roster);
    if (!chosen.error.empty()) return chosen;
  }
  if (form.kind == lms_kind::blackboard && !roster.new_column && !roster.assignment.empty()) {
    const std::string_view points = blackboard_points(roster.assignment);
    if (points_in_hundredths(points, roster.points_hundredths)) {
      roster.points_from = "[Total Pts: " + std::string(points) + "]";
    } else {
      roster.points_hundredths = -1;
    }
  }
  if (form.kind == lms_kind::canvas) form.maximum = std::string::npos;
  if (!request.choose) form.assignment = form.maximum = std::string::npos;
  if (!read_students(records, form, header.size(), roster)) return {records.error()};
  return {};
}

std::string name_part(std::string_view name, bool keep_other_letters) {
  std::string part;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 'A' && byte <= 'Z') {
      part += static_cast<char>(byte - 'A' + 'a');
    } else if ((byte >= 'a' && byte <= 'z') || (keep_other_letters && byte >= 0x80)) {
      part += c;
    }
  }
  return part;
}

// The "_"-separated fields of `name`, at most `count`: the last holds the rest.
std::vector<std::string_view> split_fields(std::string_view name, std::size_t count) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    const std::size_t bar = name.find('_');
    if (bar == std::string_view::npos) break;
    parts.push_back(name.substr(0, bar));
    name.remove_prefix(bar + 1);
  }
  parts.push_back(name);
  return parts;
}

std::string with_name(const lms_roster& roster, std::size_t student) {
  return roster.students[student].name + " (" + student_label(roster, roster.students[student]) +
         ")";
}

// "A (ID 1) and B (ID 2)".
std::string joined_students(const lms_roster& roster, const std::vector<std::size_t>& students) {
  std::string text;
  for (std::size_t i = 0; i < students.size(); ++i) {
    if (i > 0) text += i + 1 == students.size() ? " and " : ", ";
    text += with_name(roster, students[i]);
  }
  return text;
}

// The match of a name that fits each of `fitting` students (distinct, in order).
download_match fitting_match(const lms_roster& roster, std::vector<std::size_t> fitting) {
  if (fitting.size() == 1) return {static_cast<std::int64_t>(fitting.front()), "", {}};
  std::string count = fitting.size() == 2 ? "two" : std::to_string(fitting.size());
  return {-1, "fits " + count + " students: " + joined_students(roster, fitting),
          std::move(fitting)};
}

void add_once(std::vector<std::size_t>& students, std::size_t student) {
  if (std::find(students.begin(), students.end(), student) == students.end()) {
    students.push_back(student);
  }
}

const roster_student* student_with(const lms_roster& roster, std::string_view id,
                                   std::size_t& index) {
  const auto found = roster.by_id.find(std::string(id));
  if (found == roster.by_id.end()) return nullptr;
  index = found->second;
  return &roster.students[index];
}

download_match canvas_match(const lms_roster& roster, std::string_view name) {
  const std::vector<std::string_view> first = split_fields(name, 3);
  const std::size_t user = first.size() > 1 && (first[1] == "LATE" || first[1] == "late") ? 2 : 1;
  const std::vector<std::string_view> parts = split_fields(name, user + 3);
  const bool canvas_form = parts.size() == user + 3 && is_digits(parts[user]) &&
                           is_digits(parts[user + 1]) && !parts.back().empty();
  if (!canvas_form) {
    return {-1, "not a Canvas download name (namepart_ID_number_file)", {}};
  }
  const std::string_view written = parts[0];
  const std::string_view id = parts[user];
  download_match match;
  for (std::size_t s = 0; s < roster.students.size(); ++s) {
    const std::string& full = roster.students[s].name;
    if (name_part(full, false) == written || name_part(full, true) == written) {
      add_once(match.candidates, s);
    }
  }
  std::size_t index = 0;
  const roster_student* student = student_with(roster, id, index);
  if (student != nullptr && std::count(match.candidates.begin(), match.candidates.end(), index)) {
    return {static_cast<std::int64_t>(index), "", {}};
  }
  match.reason = student == nullptr
                     ? "no student has ID " + std::string(id)
                     : "ID " + std::string(id) + " is " + student->name + ", whose name part is " +
                           name_part(student->name, false) + ", not " + std::string(written);
  if (student != nullptr) match.candidates.insert(match.candidates.begin(), index);
  if (match.candidates.size() > (student != nullptr ? 1U : 0U)) {
    std::vector<std::size_t> others(match.candidates.begin() + (student != nullptr ? 1 : 0),
                                    match.candidates.end());
    match.reason +=
        "; " + std::string(written) + " is the name part of " + joined_students(roster, others);
  }
  return match;
}

// One reading of a Moodle name: the full name and the participant number.
struct moodle_reading {
  std::string_view full_name;
  std::string_view number;
};

// Every reading of `name` as "Full Name_<N>_assignsubmission_<plugin>_<rest>"; a folder's name
// ends in the marker, so when the last reading has no rest it is the only one.
std::vector<moodle_reading> moodle_readings(std::string_view name) {
  constexpr std::string_view mark = "_assignsubmission_";
  std::vector<moodle_reading> readings;
  bool folder = false;
  for (std::size_t at = name.find(mark); at != std::string_view::npos;
       at = name.find(mark, at + 1)) {
    const std::size_t plugin_end = name.find('_', at + mark.size());
    if (plugin_end == std::string_view::npos || plugin_end == at + mark.size()) continue;
    const std::size_t bar = name.rfind('_', at == 0 ? 0 : at - 1);
    if (bar == std::string_view::npos || bar == 0 || bar >= at) continue;
    const std::string_view number = name.substr(bar + 1, at - bar - 1);
    if (!is_digits(number)) continue;
    folder = plugin_end + 1 == name.size();
    readings.push_back({name.substr(0, bar), number});
  }
  if (folder) readings.erase(readings.begin(), readings.end() - 1);
  return readings;
}

download_match moodle_match(const lms_roster& roster, std::string_view name) {
  const std::vector<moodle_reading> readings = moodle_readings(name);
  if (readings.empty()) {
    return {-1, "not a Moodle download name (Full Name_N_assignsubmission_...)", {}};
  }
  std::vector<std::size_t> fitting;
  std::vector<std::size_t> candidates;
  for (const moodle_reading& reading : readings) {
    std::size_t index = 0;
    const roster_student* student = student_with(roster, reading.number, index);
    if (student == nullptr) continue;
    add_once(student->name == reading.full_name ? fitting : candidates, index);
  }
  if (!fitting.empty()) return fitting_match(roster, fitting);
  const moodle_reading& last = readings.back();
  std::size_t index = 0;
  const roster_student* student = student_with(roster, last.number, index);
  download_match match{-1, "", candidates};
  match.reason = student == nullptr ? "no student is Participant " + std::string(last.number)
                                    : "Participant " + std::string(last.number) + " is " +
                                          student->name + ", not " + std::string(last.full_name);
  return match;
}

// "yyyy-mm-dd-hh-mm-ss" at the start of `text`.
bool starts_with_date(std::string_view text) {
  if (text.size() < 19) return false;
  for (std::size_t i = 0; i < 19; ++i) {
    const bool dash = i == 4 || i == 7 || i == 10 || i == 13 || i == 16;
    if (dash ? text[i] != '-' : !is_digits(text.substr(i, 1))) return false;
  }
  return true;
}

download_match blackboard_match(const lms_roster& roster, std::string_view name) {
  constexpr std::string_view mark = "_attempt_";
  std::vector<std::string_view> titles;
  std::transform(roster.assignments.begin(), roster.assignments.end(), std::back_inserter(titles),
                 [](const std::string& column) { return blackboard_title(column); });
  bool attempt = false;
  std::vector<std::size_t> fitting;
  std::string username;  // the first one read, for the reason
  for (std::size_t at = name.find(mark); at != std::string_view::npos;
       at = name.find(mark, at + 1)) {
    const std::string_view after = name.substr(at + mark.size());
    if (!starts_with_date(after) || !(after.size() == 19 || after[19] == '_' || after[19] == '.')) {
      continue;
    }
    attempt = true;
    const std::string_view before = name.substr(0, at);
    for (const std::string_view title : titles) {
      if (before.size() <= title.size() + 1 || !before.starts_with(title) ||
          before[title.size()] != '_') {
        continue;
      }
      const std::string_view user = before.substr(title.size() + 1);
      if (username.empty()) username = user;
      std::size_t index = 0;
      if (student_with(roster, user, index) != nullptr) add_once(fitting, index);
    }
  }
  if (!fitting.empty()) return fitting_match(roster, fitting);
  if (!attempt) {
    return {-1, "not a Blackboard download name (assignment_username_attempt_date...)", {}};
  }
  if (username.empty()) {
    return {-1,
            "it begins with no grade column of the roster (" + listed(roster.assignments) + ")",
            {}};
  }
  return {-1, "no student has the username " + username, {}};
}

// A plain roster's download: the student's id, alone or before a "." and anything after it, so
// that "s17.txt" and "s17.out.txt" are s17's; a name that fits two ids ("a.b.txt" for "a" and
// "a.b") goes to nobody.
download_match plain_match(const lms_roster& roster, std::string_view name) {
  std::vector<std::size_t> fitting;
  std::size_t index = 0;
  for (std::size_t end = name.find('.');; end = name.find('.', end + 1)) {
    const std::string_view id = name.substr(0, end);
    if (!id.empty() && student_with(roster, id, index) != nullptr) add_once(fitting, index);
    if (end == std::string_view::npos) break;
  }
  if (fitting.empty()) return {-1, "no student's id begins the name", {}};
  return fitting_match(roster, std::move(fitting));
}

// Blackboard's receipt of an attempt, "<assignment>_<username>_attempt_<date>.txt", beside the
// attempt's files: not a submission of its own while the student has another download.
bool blackboard_receipt(std::string_view name) {
  while (name.ends_with('/')) name.remove_suffix(1);
  name.remove_prefix(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1);
  constexpr std::string_view mark = "_attempt_";
  constexpr std::size_t tail = 19 + 4;  // the date and ".txt"
  return name.size() > mark.size() + tail && name.ends_with(".txt") &&
         name.substr(name.size() - tail - mark.size(), mark.size()) == mark &&
         starts_with_date(name.substr(name.size() - tail));
}

void set_receipts_aside(const lms_roster& roster, const std::vector<std::string>& names,
                        roster_match& match) {
  std::vector<std::int64_t> receipts(roster.students.size(), 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (match.student_of[i] >= 0 && blackboard_receipt(names[i])) {
      ++receipts[static_cast<std::size_t>(match.student_of[i])];
    }
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (match.student_of[i] < 0 || !blackboard_receipt(names[i])) continue;
    const auto s = static_cast<std::size_t>(match.student_of[i]);
    if (match.downloads_of[s] == receipts[s]) continue;  // the receipt is all they handed in
    match.notes[i] = "attempt receipt of " + student_label(roster, roster.students[s]) +
                     ", beside the file that is graded";
    --match.downloads_of[s];
    --receipts[s];
  }
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
    case lms_kind::plain:
      return "CSV";
  }
  return "";
}

std::vector<std::string_view> kept_fields(const roster_student& student) {
  std::vector<std::string_view> fields;
  std::string_view rest = student.kept;
  for (std::size_t end = rest.find('\0'); end != std::string_view::npos; end = rest.find('\0')) {
    fields.push_back(rest.substr(0, end));
    rest.remove_prefix(end + 1);
  }
  return fields;
}

bool points_in_hundredths(std::string_view text, std::int64_t& hundredths) {
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  std::string_view part = dot == std::string_view::npos ? "" : text.substr(dot + 1);
  while (part.size() > 2 && part.ends_with('0')) part.remove_suffix(1);
  if (!is_digits(whole) || whole.size() > 7 || part.size() > 2 ||
      (!part.empty() && !is_digits(part)) ||
      (dot != std::string_view::npos && dot + 1 == text.size())) {
    return false;
  }
  const std::string digits =
      std::string(whole) + std::string(part) + std::string(2 - part.size(), '0');
  const std::int64_t value =
      std::accumulate(digits.begin(), digits.end(), std::int64_t{0},
                      [](std::int64_t sum, char c) { return sum * 10 + (c - '0'); });
  if (value <= 0 || value > 100000000) return false;
  hundredths = value;
  return true;
}

roster_outcome parse_roster(std::string_view text, const std::string& path,
                            const roster_request& request, lms_roster& roster) {
  byte_source source(text);
  return parse_source(source, path, request, roster);
}

roster_outcome read_roster(const std::string& path, const roster_request& request,
                           lms_roster& roster) {
  const bool standard_input = path == "-";
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      standard_input ? nullptr : std::fopen(path.c_str(), "rb"), std::fclose);
  std::FILE* from = standard_input ? stdin : file.get();
  if (from == nullptr) return {"Roster " + path + " open failed"};
  byte_source source(from);
  return parse_source(source, standard_input ? "standard input" : path, request, roster);
}

bool is_receipt_note(std::string_view note) { return note.starts_with("attempt receipt of "); }

std::string student_label(const lms_roster& roster, const roster_student& student) {
  constexpr std::string_view labels[] = {"ID ", "Participant ", "username ", "id "};
  return std::string(labels[static_cast<int>(roster.kind)]) + student.id;
}

download_match match_download(const lms_roster& roster, std::string_view name) {
  while (name.ends_with('/')) name.remove_suffix(1);
  const std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  switch (roster.kind) {
    case lms_kind::canvas:
      return canvas_match(roster, name);
    case lms_kind::moodle:
      return moodle_match(roster, name);
    case lms_kind::blackboard:
      return blackboard_match(roster, name);
    case lms_kind::plain:
      return plain_match(roster, name);
  }
  return {};
}

roster_match match_roster(const lms_roster& roster, const std::vector<std::string>& names) {
  roster_match match;
  match.student_of.assign(names.size(), -1);
  match.notes.assign(names.size(), "");
  match.candidates.assign(names.size(), {});
  match.downloads_of.assign(roster.students.size(), 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    download_match found = match_download(roster, names[i]);
    match.student_of[i] = found.student;
    if (found.student < 0) {
      match.notes[i] = "not matched: " + found.reason;
      match.candidates[i] = std::move(found.candidates);
      continue;
    }
    ++match.downloads_of[static_cast<std::size_t>(found.student)];
  }
  if (roster.kind == lms_kind::blackboard) set_receipts_aside(roster, names, match);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::int64_t student = match.student_of[i];
    if (student < 0 || !match.notes[i].empty()) continue;
    const std::int64_t count = match.downloads_of[static_cast<std::size_t>(student)];
    if (count < 2) continue;
    match.notes[i] = "not graded: " + (count == 2 ? std::string("two") : std::to_string(count)) +
                     " submissions for " +
                     student_label(roster, roster.students[static_cast<std::size_t>(student)]);
  }
  return match;
}

std::vector<std::int64_t> student_grades(const roster_match& match, std::size_t students,
                                         const std::vector<graded_fraction>& fractions,
                                         std::int64_t points_hundredths) {
  std::vector<std::int64_t> grades(students, -1);
  for (std::size_t i = 0; i < match.student_of.size() && i < fractions.size(); ++i) {
    const std::int64_t student = match.student_of[i];
    const graded_fraction& f = fractions[i];
    if (student < 0 || !match.notes[i].empty() || f.all <= 0 || f.right < 0) continue;
    // right <= all, a count of output lines, and points at most 10^8 hundredths: no overflow.
    grades[static_cast<std::size_t>(student)] =
        (2 * f.right * points_hundredths + f.all) / (2 * f.all);
  }
  return grades;
}

std::vector<std::string> student_reasons(const lms_roster& roster, const roster_match& match,
                                         const std::vector<std::int64_t>& grades,
                                         const std::vector<std::string>& not_graded,
                                         const std::vector<std::string>& paths) {
  std::vector<std::string> reasons(roster.students.size());
  for (std::size_t s = 0; s < reasons.size(); ++s) {
    if (s >= grades.size() || grades[s] < 0) reasons[s] = "no submission";
  }
  // Later sources of a reason override earlier ones: a possible match, then a real one.
  for (std::size_t i = 0; i < match.candidates.size() && i < paths.size(); ++i) {
    for (const std::size_t s : match.candidates[i]) {
      if (reasons[s] == "no submission") reasons[s] = "not matched: " + paths[i];
    }
  }
  for (std::size_t i = 0; i < match.student_of.size(); ++i) {
    const std::int64_t student = match.student_of[i];
    if (student < 0) continue;
    const auto s = static_cast<std::size_t>(student);
    if (reasons[s].empty() || is_receipt_note(match.notes[i])) continue;
    if (!match.notes[i].empty()) {
      reasons[s] = match.notes[i];
    } else if (i < not_graded.size() && !not_graded[i].empty()) {
      reasons[s] = not_graded[i].starts_with("not graded: ") ? not_graded[i]
                                                             : "not graded: " + not_graded[i];
    }
  }
  return reasons;
}
