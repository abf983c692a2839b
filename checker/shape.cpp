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
  const std::int64_t i = at_++;
  const auto count = static_cast<std::int64_t>(expected_.size());
  if (i >= count) return;
  const auto at = [&](std::int64_t j) { return expected_[static_cast<std::size_t>(j)]; };
  const bool known = submitted != no_layout;
  const bool wrong = !known || submitted != at(i);
  step(missing_, known && i + 1 < count && submitted == at(i + 1), wrong, true);
  step(extra_, known && i > 0 && submitted == at(i - 1), wrong, false);
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
  const bool counts = run.open && run.wrong >= 2;
  if (counts && (!found_.found || run.first_wrong < found_.first)) {
    found_ = line_shift{true, missing, run.first_wrong, run.last};
  }
  run = open_run{};
}

line_shift shift_finder::finish() {
  close(missing_, true);
  close(extra_, false);
  return found_;
}
