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

// Gathers a sentence, merging runs of words into one part.
struct sentence_writer {
  sentence said;

  sentence_writer& words(std::string_view text) {
    if (!said.empty() && said.back().kind == part_kind::words) {
      said.back().text += text;
    } else {
      said.push_back({part_kind::words, std::string(text), 0});
    }
    return *this;
  }
  sentence_writer& put(part_kind kind, std::int64_t value) {
    said.push_back({kind, {}, value});
    return *this;
  }
  sentence_writer& key(std::int64_t value) { return put(part_kind::key, value); }
  sentence_writer& slot(std::int64_t value) { return put(part_kind::slot, value); }
  sentence_writer& count(std::int64_t value) { return put(part_kind::count, value); }
  // Starts a clause: "; " first when the sentence holds something already.
  sentence_writer& clause() {
    if (!said.empty()) words("; ");
    return *this;
  }
};

// "8 keys for 7 slots", as a clause of `w`; nothing when the counts agree.
void put_length(sentence_writer& w, const diagnosis& d) {
  if (d.slot_count == d.table_size) return;
  w.clause().count(d.slot_count).words(" keys for ").count(d.table_size).words(" slots");
}

sentence difference_sentence(const diagnosis& d) {
  sentence_writer w;
  if (!d.first_wrong_slot) {
    put_length(w, d);
    if (!w.said.empty()) w.words("; the first ").count(std::min(d.slot_count, d.table_size));
    if (!w.said.empty()) w.words(" match");
    return w.said;
  }
  w.words("first difference at slot ").slot(*d.first_wrong_slot).words(": ");
  if (d.expected_key) w.words("expected ").put(part_kind::held, *d.expected_key).words(", ");
  w.words("submitted ").put(part_kind::held, d.submitted_key.value_or(0));
  if (d.differing_slots > 1) w.words("; ").count(d.differing_slots).words(" slots differ");
  put_length(w, d);
  return w.said;
}

sentence misplaced_sentence(const diagnosis& d) {
  sentence_writer w;
  if (!d.first_misplaced_key) return w.said;
  w.words("first misplaced key ").key(*d.first_misplaced_key);
  w.words(" (inserted ").words(ordinal(d.insertion_number)).words("): ");
  if (d.expected_slot) {
    w.words("belongs in slot ").slot(*d.expected_slot);
  } else {
    w.words("dropped from the correct table");
  }
  if (d.submitted_slot) {
    w.words(", submitted in slot ").slot(*d.submitted_slot);
  } else {
    w.words(", not submitted");
  }
  return w.said;
}

void put_step(sentence_writer& w, const path_step& step) {
  w.slot(step.slot);
  if (step.held == 0) {
    w.words(" (empty)");
  } else {
    w.words(" (held ").key(step.held).words(")");
  }
}

sentence path_sentence(const diagnosis& d) {
  sentence_writer w;
  if (!d.first_misplaced_key || d.path.empty()) return w.said;
  w.words("path");
  if (d.step) w.words(" (step ").count(*d.step).words(")");
  w.words(": home ");
  const auto hidden = d.path_length - static_cast<std::int64_t>(d.path.size());
  for (std::size_t i = 0; i < d.path.size(); ++i) {
    if (i != 0) w.put(part_kind::arrow, 0);
    if (i == path_head && hidden > 0) {
      w.put(part_kind::ellipsis, 0).words(" ").count(hidden).words(" more ");
      w.put(part_kind::ellipsis, 0).put(part_kind::arrow, 0);
    }
    put_step(w, d.path[i]);
  }
  if (d.settles) {
    w.words(": settles in slot ").slot(*d.settles);
  } else {
    w.words(": no free slot, dropped");
  }
  return w.said;
}

// "missing keys: 24, 31 and 2 more", as a clause of `w`; nothing when there are none.
void put_key_sample(sentence_writer& w, std::string_view what, const key_list& keys,
                    std::int64_t count) {
  if (count == 0) return;
  w.clause().words(what).words(": ");
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i != 0) w.words(", ");
    w.key(keys[i]);
  }
  const auto more = count - static_cast<std::int64_t>(keys.size());
  if (more > 0) w.words(" and ").count(more).words(" more");
}

sentence keys_sentence(const diagnosis& d) {
  sentence_writer w;
  put_key_sample(w, "unknown keys", d.unknown_keys, d.unknown_count);
  put_key_sample(w, "missing keys", d.missing_keys, d.missing_count);
  put_key_sample(w, "repeated keys", d.repeated_keys, d.repeated_count);
  return w.said;
}

sentence mistake_sentence(const diagnosis& d) {
  sentence_writer w;
  if (!d.mistake && !d.searched) return w.said;
  std::string text = d.mistake_text;
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  const std::string name = d.mistake ? mistake_title(*d.mistake) : std::string(unexplained_key);
  w.words("mistake: ").words(name).words(" — ").words(text);
  return w.said;
}

sentence notes_sentence(const diagnosis& d) {
  sentence_writer w;
  if (d.notes.empty()) return w.said;
  w.words(d.notes.size() == 1 ? "note: " : "notes: ");
  for (std::size_t i = 0; i < d.notes.size() && i < shown_notes; ++i) {
    const token_note& note = d.notes[i];
    if (i != 0) w.words("; ");
    w.words("token ").words(quote_token(note.text));
    if (note.read_as) w.words(" read as ").key(*note.read_as);
  }
  const std::size_t more = d.notes.size() - std::min(d.notes.size(), shown_notes);
  if (more > 0) w.words("; ").count(static_cast<std::int64_t>(more)).words(" more");
  return w.said;
}

}  // namespace

std::vector<sentence> diagnosis_sentences(const diagnosis& d) {
  // Each sentence is moved in as it is made: a list of them all would copy every one.
  std::vector<sentence> said;
  said.reserve(6);
  const auto keep = [&said](sentence one) {
    if (!one.empty()) said.push_back(std::move(one));
  };
  keep(difference_sentence(d));
  keep(misplaced_sentence(d));
  keep(path_sentence(d));
  keep(keys_sentence(d));
  keep(mistake_sentence(d));
  keep(notes_sentence(d));
  return said;
}

std::string plain_sentence(const sentence& said) {
  std::string text;
  for (const sentence_part& part : said) {
    switch (part.kind) {
      case part_kind::words:
        text += part.text;
        break;
      case part_kind::arrow:
        text += " -> ";
        break;
      case part_kind::ellipsis:
        text += "...";
        break;
      case part_kind::key:
      case part_kind::held:
      case part_kind::slot:
      case part_kind::count:
        text += number(part.number);
        break;
    }
  }
  return text;
}

std::vector<sentence> unread_line_sentences(const diagnosis& d) {
  std::vector<sentence> said;
  sentence named = mistake_sentence(d);
  if (!named.empty()) said.push_back(std::move(named));
  return said;
}

std::string explain_lines(const diagnosis& d) {
  std::string text;
  for (const sentence& said : diagnosis_sentences(d)) text += "  " + plain_sentence(said) + "\n";
  return text;
}

std::string explain_unread_line(const diagnosis& d) {
  std::string text;
  for (const sentence& said : unread_line_sentences(d)) text += "  " + plain_sentence(said) + "\n";
  return text;
}

std::string counted_lines(std::int64_t count) {
  return number(count) + (count == 1 ? " Wrong line" : " Wrong lines");
}

std::string likely_line(const submission_shape& shape) {
  if (shape.wrong_lines == 0) return "";
  if (shape.likely.empty()) {
    return "Most likely: " + std::string(unexplained_key) + " (no known mistake gives any of " +
           counted_lines(shape.wrong_lines) + ")";
  }
  const likely_mistake& top = shape.likely.front();
  if (!program_mistake(shape)) {
    return "Most likely: " + std::string(unexplained_key) + " (no known mistake gives " +
           number(shape.unexplained_lines) + " of " + counted_lines(shape.wrong_lines) + "; " +
           mistake_title(top.mistake) + " explains " + number(top.explains) + ")";
  }
  std::string text = "Most likely: " + mistake_title(top.mistake) + " (explains " +
                     number(top.explains) + " of " + counted_lines(top.wrong_lines);
  // A tie is said, so that the first in the catalogue is not taken for the only one: these lines
  // can't tell them apart.
  constexpr std::size_t tied_named = 3;
  std::vector<std::string> tied;
  std::size_t more = 0;
  for (std::size_t i = 1; i < shape.likely.size(); ++i) {
    if (shape.likely[i].explains != top.explains) break;
    if (tied.size() < tied_named) {
      tied.push_back(mistake_title(shape.likely[i].mistake));
    } else {
      ++more;
    }
  }
  if (!tied.empty()) {
    text += "; ";
    for (std::size_t i = 0; i < tied.size(); ++i) {
      if (i > 0) text += more == 0 && i + 1 == tied.size() ? " and " : ", ";
      text += tied[i];
    }
    if (more > 0) text += " and " + number(static_cast<std::int64_t>(more)) + " more";
    text += tied.size() + more == 1 ? " explains as many" : " explain as many";
  }
  return text + ")";
}

namespace {

// The run out of step, said once: which lines look missing or extra, and whose layouts the lines
// after them hold (without line numbers when the reveal filter withheld them).
std::string shift_line(const line_shift& shift) {
  const std::string_view state = shift.missing ? "missing" : "extra";
  if (shift.first == 0 && shift.lines == 1) {
    return shift.missing ? "an output line looks missing: the lines after it hold the layouts of "
                           "the lines below them"
                         : "an output line looks extra: the lines after it hold the layouts of "
                           "the lines above them";
  }
  if (shift.first == 0) {
    return number(shift.lines) + " output lines look " + std::string(state) +
           ": the lines after them hold the layouts of the lines " + number(shift.lines) +
           (shift.missing ? " below them" : " above them");
  }
  const std::int64_t step = shift.missing ? shift.lines : -shift.lines;
  const std::string looks = shift.lines == 1
                                ? "output line " + number(shift.line()) + " looks "
                                : "output lines " + number(shift.line()) + " to " +
                                      number(shift.line() + shift.lines - 1) + " look ";
  return looks + std::string(state) + ": lines " + number(shift.first) + " to " +
         number(shift.last) + " hold the layouts of lines " + number(shift.first + step) + " to " +
         number(shift.last + step);
}

// The runs out of step after the first, when there are some: blank lines between cases shift
// each case further than the one before.
std::string more_runs_text(const submission_shape& shape) {
  if (shape.more_runs == 0) return "";
  const line_shift& last = shape.last_run;
  return "; " + number(shape.more_runs) + (shape.more_runs == 1 ? " more run" : " more runs") +
         " out of step after it, the last with " + number(last.lines) +
         (last.lines == 1 ? " line " : " lines ") + (last.missing ? "missing" : "extra");
}

}  // namespace

std::vector<std::string> shape_lines(const submission_shape& shape) {
  std::vector<std::string> lines;
  if (!shape.judged) return lines;
  const line_shift& shift = shape.shift;
  if (shift.found) lines.push_back(shift_line(shift) + more_runs_text(shape));
  if (shape.separator == key_separator::brackets) {
    lines.emplace_back(
        "keys are wrapped in brackets; keys are read between single spaces; --separators=any "
        "would read the line");
  } else if (shape.separator != key_separator::spaces) {
    lines.push_back("keys are separated by " + std::string(separator_key(shape.separator)) +
                    "; keys are read between single spaces; --separators=any would read the line");
  }
  // Lines found missing in the middle already account for as many the file lacks at its end.
  const line_shift& last = shape.more_runs > 0 ? shape.last_run : shift;
  const std::int64_t cut = shape.missing_lines - (last.found && last.missing ? last.lines : 0);
  if (cut > 0 && !shape.empty) {
    lines.push_back("the output ends " + number(cut) + (cut == 1 ? " line" : " lines") +
                    " short, as when the program stops early (a crash, or a stop when a table is "
                    "full)");
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
