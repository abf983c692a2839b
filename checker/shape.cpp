#include "checker/shape.h"

#include <algorithm>

std::string_view separator_key(key_separator separator) {
  switch (separator) {
    case key_separator::tabs:
      return "tabs";
    case key_separator::commas:
      return "commas";
    case key_separator::semicolons:
      return "semicolons";
    case key_separator::brackets:
      return "brackets";
    case key_separator::spaces:
      break;
  }
  return "spaces";
}

key_separator separator_of(std::string_view token) {
  // Brackets first: "[3," is a bracketed list that also uses commas.
  if (token.find_first_of("[](){}") != std::string_view::npos) return key_separator::brackets;
  if (token.find('\t') != std::string_view::npos) return key_separator::tabs;
  if (token.find(',') != std::string_view::npos) return key_separator::commas;
  if (token.find(';') != std::string_view::npos) return key_separator::semicolons;
  return key_separator::spaces;
}

key_separator separator_of(const parsed_line& line) {
  if (line.fault != token_fault::none) {
    const key_separator found = separator_of(line.token);
    if (found != key_separator::spaces) return found;
  }
  for (const lenient_token& token : line.lenient) {
    const key_separator found = separator_of(token.text);
    if (found != key_separator::spaces) return found;
  }
  return key_separator::spaces;
}

std::uint64_t layout_digest(const key_list& keys) {
  // FNV-1a over the keys' bytes, then a final mix; the length goes in first so that lists of
  // zeros of different lengths differ.
  std::uint64_t digest = 0xcbf29ce484222325ULL;
  const auto mix_in = [&digest](std::uint64_t value) {
    for (int byte = 0; byte < 8; ++byte) {
      digest ^= (value >> (8 * byte)) & 0xffU;
      digest *= 0x100000001b3ULL;
    }
  };
  mix_in(keys.size());
  for (const key k : keys) mix_in(static_cast<std::uint32_t>(k));
  digest ^= digest >> 33;
  digest *= 0xff51afd7ed558ccdULL;
  digest ^= digest >> 33;
  return digest == no_layout ? 1 : digest;
}

void shift_finder::line(std::uint64_t submitted) {
  const std::int64_t i = at_;
  const auto count = static_cast<std::int64_t>(expected_.size());
  if (i >= count) {
    ++at_;
    return;
  }
  const auto at = [&](std::int64_t j) { return expected_[static_cast<std::size_t>(j)]; };
  const bool known = submitted != no_layout;
  step(!known || submitted != at(i), known && i + 1 < count && submitted == at(i + 1),
       known && i > 0 && submitted == at(i - 1));
}

void shift_finder::step(bool wrong, bool holds_next, bool holds_previous) {
  ++at_;
  step(missing_, holds_next, wrong, true);
  step(extra_, holds_previous, wrong, false);
}

std::int64_t shift_finder::settled_before() const {
  std::int64_t before = at_ + 1;
  // A run with one Wrong line may yet count, and beat every run that starts after it.
  for (const open_run* run : {&missing_, &extra_}) {
    if (run->open && run->wrong == 1) before = std::min(before, run->first_wrong);
  }
  // Two counting runs from the same line: the one that ends first wins, and they differ in what
  // they say of the line (missing or extra).
  const bool tie = missing_.counts() && extra_.counts() &&
                   missing_.first_wrong == extra_.first_wrong &&
                   !(found_.found && found_.first <= missing_.first_wrong);
  if (tie) before = std::min(before, missing_.first_wrong);
  return before;
}

line_shift shift_finder::settled() const {
  // A run already found keeps its place against an open one from the same line.
  line_shift best = found_;
  for (const open_run* run : {&missing_, &extra_}) {
    if (run->counts() && (!best.found || run->first_wrong < best.first)) {
      best = line_shift{true, run == &missing_, run->first_wrong, run->last};
    }
  }
  return best;
}

void shift_finder::step(open_run& run, bool holds_neighbour, bool wrong, bool missing) {
  if (!holds_neighbour) {
    close(run, missing);
    return;
  }
  const std::int64_t output_line = at_;  // 1-based: the line just fed
  if (!run.open) run = open_run{0, 0, 0, true};
  run.last = output_line;
  if (!wrong) return;
  if (run.first_wrong == 0) run.first_wrong = output_line;
  ++run.wrong;
}

void shift_finder::close(open_run& run, bool missing) {
  // The earliest run wins; one that starts later can't replace it.
  if (run.counts() && (!found_.found || run.first_wrong < found_.first)) {
    found_ = line_shift{true, missing, run.first_wrong, run.last};
  }
  run = open_run{};
}

line_shift shift_finder::finish() {
  close(missing_, true);
  close(extra_, false);
  return found_;
}
