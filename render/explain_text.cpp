#include "render/explain_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "checker/key_lines.h"
#include "checker/shape.h"

namespace {

constexpr std::size_t shown_notes = 3;

std::string number(std::int64_t value) { return std::to_string(value); }

void add_line(std::string& text, const std::string& line) {
  if (!line.empty()) text += "  " + line + "\n";
}

std::string length_text(const diagnosis& d) {
  if (d.slot_count == d.table_size) return "";
  return number(d.slot_count) + " keys for " + number(d.table_size) + " slots";
}

std::string difference_line(const diagnosis& d) {
  const std::string lengths = length_text(d);
  if (!d.first_wrong_slot) {
    if (lengths.empty()) return "";
    return lengths + "; the first " + number(std::min(d.slot_count, d.table_size)) + " match";
  }
  std::string line = "first difference at slot " + number(*d.first_wrong_slot) + ": expected " +
                     number(*d.expected_key) + ", submitted " + number(*d.submitted_key);
  if (d.differing_slots > 1) line += "; " + number(d.differing_slots) + " slots differ";
  if (!lengths.empty()) line += "; " + lengths;
  return line;
}

std::string misplaced_line(const diagnosis& d) {
  if (!d.first_misplaced_key) return "";
  std::string line = "first misplaced key " + number(*d.first_misplaced_key) + " (inserted " +
                     ordinal(d.insertion_number) + "): ";
  line += d.expected_slot ? "belongs in slot " + number(*d.expected_slot)
                          : std::string("dropped from the correct table");
  line += d.submitted_slot ? ", submitted in slot " + number(*d.submitted_slot)
                           : std::string(", not submitted");
  return line;
}

std::string step_text(const path_step& step) {
  return number(step.slot) + (step.held == 0 ? " (empty)" : " (held " + number(step.held) + ")");
}

std::string path_line(const diagnosis& d) {
  if (!d.first_misplaced_key || d.path.empty()) return "";
  std::string line = "path";
  if (d.step) line += " (step " + number(*d.step) + ")";
  line += ": home ";
  const auto hidden = d.path_length - static_cast<std::int64_t>(d.path.size());
  for (std::size_t i = 0; i < d.path.size(); ++i) {
    if (i != 0) line += " -> ";
    if (i == path_head && hidden > 0) line += "... " + number(hidden) + " more ... -> ";
    line += step_text(d.path[i]);
  }
  line += d.settles ? ": settles in slot " + number(*d.settles)
                    : std::string(": no free slot, dropped");
  return line;
}

std::string key_sample(std::string_view what, const key_list& keys, std::int64_t count) {
  if (count == 0) return "";
  std::string text = std::string(what) + ": ";
  for (std::size_t i = 0; i < keys.size(); ++i) text += (i == 0 ? "" : ", ") + number(keys[i]);
  const auto more = count - static_cast<std::int64_t>(keys.size());
  if (more > 0) text += " and " + number(more) + " more";
  return text;
}

std::string keys_line(const diagnosis& d) {
  std::string line;
  for (const std::string& part : {key_sample("unknown keys", d.unknown_keys, d.unknown_count),
                                  key_sample("missing keys", d.missing_keys, d.missing_count),
                                  key_sample("repeated keys", d.repeated_keys, d.repeated_count)}) {
    if (part.empty()) continue;
    line += (line.empty() ? "" : "; ") + part;
  }
  return line;
}

std::string mistake_line(const diagnosis& d) {
  if (!d.mistake) return "";
  std::string sentence = d.mistake_text;
  if (!sentence.empty() && sentence[0] >= 'A' && sentence[0] <= 'Z') {
    sentence[0] = static_cast<char>(sentence[0] - 'A' + 'a');
  }
  return "mistake: " + std::string(mistake_key(*d.mistake)) + " — " + sentence;
}

std::string notes_line(const diagnosis& d) {
  if (d.notes.empty()) return "";
  std::string line = d.notes.size() == 1 ? "note: " : "notes: ";
  for (std::size_t i = 0; i < d.notes.size() && i < shown_notes; ++i) {
    const token_note& note = d.notes[i];
    if (i != 0) line += "; ";
    line += "token " + quote_token(note.text);
    if (note.read_as) line += " read as " + number(*note.read_as);
  }
  const std::size_t more = d.notes.size() - std::min(d.notes.size(), shown_notes);
  if (more > 0) line += "; " + number(static_cast<std::int64_t>(more)) + " more";
  return line;
}

}  // namespace

std::string explain_lines(const diagnosis& d) {
  std::string text;
  add_line(text, difference_line(d));
  add_line(text, misplaced_line(d));
  add_line(text, path_line(d));
  add_line(text, keys_line(d));
  add_line(text, mistake_line(d));
  add_line(text, notes_line(d));
  return text;
}

std::vector<std::string> shape_lines(const submission_shape& shape) {
  std::vector<std::string> lines;
  if (!shape.judged) return lines;
  const line_shift& shift = shape.shift;
  if (shift.found) {
    const std::int64_t step = shift.missing ? 1 : -1;
    lines.push_back("output line " + number(shift.line()) + " looks " +
                    (shift.missing ? "missing" : "extra") + ": lines " + number(shift.first) +
                    " to " + number(shift.last) + " hold the layouts of lines " +
                    number(shift.first + step) + " to " + number(shift.last + step));
  }
  if (shape.separator == key_separator::brackets) {
    lines.emplace_back("keys are wrapped in brackets; keys are read between single spaces");
  } else if (shape.separator != key_separator::spaces) {
    lines.push_back("keys are separated by " + std::string(separator_key(shape.separator)) +
                    "; keys are read between single spaces");
  }
  if (shape.extra_lines > 0) {
    lines.push_back(number(shape.extra_lines) +
                    (shape.extra_lines == 1 ? " line after the last graded line is"
                                            : " lines after the last graded line are") +
                    " not graded");
  }
  return lines;
}

std::string ordinal(std::int64_t n) {
  const std::int64_t tens = n % 100;
  const std::int64_t last = n % 10;
  std::string_view suffix = "th";
  if (tens < 11 || tens > 13) {
    if (last == 1) suffix = "st";
    if (last == 2) suffix = "nd";
    if (last == 3) suffix = "rd";
  }
  return std::to_string(n) + std::string(suffix);
}
