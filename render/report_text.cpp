#include "render/report_text.h"

#include <algorithm>
#include <charconv>

namespace {

void append_number(std::string& text, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

std::string line_name(std::string_view output_path, const line_result& result) {
  std::string name = "Output File ";
  name += output_path;
  name += " line ";
  append_number(name, result.output_line);
  return name;
}

}  // namespace

void append_capped_keys(std::string& text, const key_list& keys) {
  if (keys.empty()) {
    text += "(no slots)";
    return;
  }
  const std::size_t shown = std::min(keys.size(), shown_keys);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) text += ' ';
    append_number(text, keys[i]);
  }
  if (shown == keys.size()) return;
  text += " \xe2\x80\xa6 (";  // U+2026, the ellipsis, in UTF-8
  append_number(text, static_cast<std::int64_t>(keys.size() - shown));
  text += " more)";
}

std::string line_problem_message(std::string_view output_path, const line_result& result) {
  switch (result.problem) {
    case line_problem::none:
      return {};
    case line_problem::missing:
      return line_name(output_path, result) + " is missing";
    case line_problem::bad_token:
      break;
  }
  std::string text = line_name(output_path, result) + ": token \"" + result.token;
  if (result.token_cut) text += "...";
  text += "\" ";
  text += fault_text(result.fault);
  return text;
}

void append_expected_and_submitted(std::string& text, const key_list& expected,
                                   std::string_view output_path, const line_result& result) {
  text += "  expected:  ";
  append_capped_keys(text, expected);
  text += '\n';
  append_submitted(text, output_path, result);
}

void append_submitted(std::string& text, std::string_view output_path, const line_result& result) {
  text += "  submitted: ";
  if (result.problem == line_problem::none) {
    append_capped_keys(text, result.submitted);
  } else {
    text += line_problem_message(output_path, result);
  }
  text += '\n';
}

std::string_view verdict_text(verdict judged) {
  switch (judged) {
    case verdict::right:
      return "Right";
    case verdict::wrong:
      return "Wrong";
    case verdict::none:
      break;
  }
  return "not graded";
}
