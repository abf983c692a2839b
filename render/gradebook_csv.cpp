#include "render/gradebook_csv.h"

#include <span>
#include <string>
#include <utility>

#include "render/json_writer.h"

namespace {

void put_count(text_out& out, std::int64_t value, bool known) {
  put_text(out, ",");
  if (known) put_number(out, value);
}

// Each id and count separated by ":", pairs by ";": ids are lower case letters and "_" only.
void put_mistakes(text_out& out, const submission_row& row) {
  const char* separator = "";
  for (std::size_t m = 0; m < row.mistake_lines.size(); ++m) {
    if (row.mistake_lines[m] == 0) continue;
    put_text(out, separator);
    put_text(out, mistake_key(named_at(m)));
    put_text(out, ":");
    put_number(out, row.mistake_lines[m]);
    separator = ";";
  }
}

void put_wrong_lines(text_out& out, const submission_row& row) {
  const char* separator = "";
  for (std::size_t c = 0; c < row.case_right.size(); ++c) {
    if (row.case_right[c] < 0 || std::cmp_equal(row.case_right[c], all_strategies.size())) continue;
    const std::uint8_t bits = c < row.case_lines_right.size() ? row.case_lines_right[c] : 0;
    for (std::size_t s = 0; s < all_strategies.size(); ++s) {
      if ((bits >> s & 1U) != 0) continue;
      put_text(out, separator);
      put_number(out, static_cast<std::int64_t>(c));
      put_text(out, ":");
      put_text(out, strategy_key(all_strategies.at(s)));
      separator = ";";
    }
  }
}

}  // namespace

namespace {

constexpr std::string_view replacement = "\xef\xbf\xbd";  // U+FFFD

// `field` with the formula guard and every ill-formed byte replaced.
std::string safe_text(std::string_view field) {
  std::string text;
  text.reserve(field.size() + 1);
  // A lone "-" is no formula, and LMS exports write it for "no date": it stays as it was.
  if (!field.empty() && field != "-" &&
      std::string_view("=+-@\t\r").find(field.front()) != std::string_view::npos) {
    text += '\'';
  }
  while (!field.empty()) {
    const std::size_t length = utf8_sequence_length(field);
    if (length == 0) {
      text += replacement;
      field.remove_prefix(1);
    } else {
      text += field.substr(0, length);
      field.remove_prefix(length);
    }
  }
  return text;
}

void put_field(text_out& out, std::string_view field, bool always_quoted) {
  const std::string text = safe_text(field);
  field = text;
  if (!always_quoted && field.find_first_of(",\"\r\n") == std::string_view::npos) {
    put_text(out, field);
    return;
  }
  put_text(out, "\"");
  for (std::size_t quote = field.find('"'); quote != std::string_view::npos;
       quote = field.find('"')) {
    put_text(out, field.substr(0, quote + 1));
    put_text(out, "\"");
    field.remove_prefix(quote + 1);
  }
  put_text(out, field);
  put_text(out, "\"");
}

}  // namespace

void put_csv_field(text_out& out, std::string_view field) { put_field(out, field, false); }

void put_quoted_csv_field(text_out& out, std::string_view field) { put_field(out, field, true); }

void put_csv_header(text_out& out, std::size_t case_count, bool student_column, bool input_column) {
  put_text(out, "submission,right,all,score,state");
  for (std::size_t i = 0; i < case_count; ++i) {
    put_text(out, ",case_");
    put_number(out, static_cast<std::int64_t>(i));
  }
  put_text(out, student_column ? ",mistakes,wrong_lines,separators,student"
                               : ",mistakes,wrong_lines,separators");
  put_text(out, input_column ? ",input\n" : "\n");
}

void put_csv_row(text_out& out, const submission_row& row, const std::string* student,
                 const std::string* input) {
  const bool graded = was_graded(row.state);
  put_csv_field(out, row.path);
  put_count(out, row.right, graded);
  put_count(out, row.all, graded);
  put_count(out, row.score, graded);
  put_text(out, ",");
  put_text(out, state_text(row.state));
  for (const std::int8_t right : row.case_right) put_count(out, right, graded && right >= 0);
  put_text(out, ",");
  if (graded) put_mistakes(out, row);
  put_text(out, ",");
  if (graded) put_wrong_lines(out, row);
  put_text(out, ",");
  if (graded) put_text(out, row.any_separator ? "any" : "spaces");
  if (student != nullptr) {
    put_text(out, ",");
    put_csv_field(out, *student);
  }
  if (input != nullptr) {
    put_text(out, ",");
    put_csv_field(out, *input);
  }
  put_text(out, "\n");
}
