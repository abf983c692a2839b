#include "checker/shape.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "checker/diagnosis.h"

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
  shift_holds holds = 0;
  for (std::int64_t lines = 1; known && lines <= max_shift_lines; ++lines) {
    if (i + lines < count && submitted == at(i + lines)) holds |= shift_bit(true, lines);
    if (i >= lines && submitted == at(i - lines)) holds |= shift_bit(false, lines);
  }
  step(!known || submitted != at(i), holds);
}

void shift_finder::step(bool wrong, shift_holds holds) {
  ++at_;
  for (std::size_t index = 0; index < run_count; ++index) {
    step(index, (holds & (shift_holds{1} << index)) != 0, wrong);
  }
}

line_shift shift_finder::shift_of(std::size_t index, const open_run& run) {
  return line_shift{true, index % 2 == 0, run.first_wrong, run.last,
                    static_cast<std::int64_t>(index / 2) + 1};
}

std::int64_t shift_finder::settled_before() const {
  std::int64_t before = at_ + 1;
  // A run with one Wrong line may yet count, and beat every run that starts after it.
  std::int64_t earliest = INT64_MAX;  // the first line of the earliest counting run
  int from_earliest = 0;              // the counting runs that start there
  for (const open_run& run : runs_) {
    if (run.open && run.wrong == 1) before = std::min(before, run.first_wrong);
    if (!run.counts()) continue;
    if (run.first_wrong < earliest) {
      earliest = run.first_wrong;
      from_earliest = 0;
    }
    from_earliest += run.first_wrong == earliest ? 1 : 0;
  }
  // Two counting runs from the same line: the one that ends first wins, and they differ in what
  // they say of the line (how many lines, missing or extra).
  const bool tie = from_earliest >= 2 && !(found_.found && found_.first <= earliest);
  if (tie) before = std::min(before, earliest);
  return before;
}

line_shift shift_finder::settled() const {
  // A run already found keeps its place against an open one from the same line.
  line_shift best = found_;
  for (std::size_t index = 0; index < run_count; ++index) {
    const open_run& run = runs_[index];
    if (run.counts() && (!best.found || run.first_wrong < best.first)) best = shift_of(index, run);
  }
  return best;
}

void shift_finder::step(std::size_t index, bool holds_layout, bool wrong) {
  open_run& run = runs_[index];
  if (!holds_layout) {
    close(index);
    return;
  }
  const std::int64_t output_line = at_;  // 1-based: the line just fed
  if (!run.open) run = open_run{0, 0, 0, true};
  run.last = output_line;
  if (!wrong) return;
  if (run.first_wrong == 0) run.first_wrong = output_line;
  ++run.wrong;
}

void shift_finder::close(std::size_t index) {
  open_run& run = runs_[index];
  // The earliest run wins; one that starts later can't replace it.
  if (run.counts() && (!found_.found || run.first_wrong < found_.first)) {
    found_ = shift_of(index, run);
  }
  run = open_run{};
}

line_shift shift_finder::finish() {
  for (std::size_t index = 0; index < run_count; ++index) close(index);
  return found_;
}

namespace {

// A line in a run out of step is shifted, even when it also happens to be another strategy's
// layout of its own case: the run explains it, the coincidence doesn't.
void name_shift(const line_shift& shift, line_result& result) {
  if (!result.details || !shift.holds(result.output_line)) return;
  diagnosis explained = *result.details;
  explained.mistake = mistake_id::line_shifted;
  // A mistake alone beats any pair.
  std::erase_if(explained.reproducing, [](const named_mistake& m) { return m.second.has_value(); });
  const auto& named = explained.reproducing;
  if (std::find(named.begin(), named.end(), mistake_id::line_shifted) == named.end()) {
    explained.reproducing.insert(
        std::upper_bound(named.begin(), named.end(), mistake_id::line_shifted),
        mistake_id::line_shifted);
  }
  explained.mistake_text = mistake_sentence(
      mistake_id::line_shifted, {result.strategy, result.strategy, shift.missing, shift.lines});
  explained.named_build.reset();
  explained.walk.mistake.reset();
  result.details = std::make_shared<const diagnosis>(std::move(explained));
}

void tell_event(std::span<const renderer_slot> slots, const held_event& event) {
  const case_result& record = *event.record;
  switch (event.what) {
    case held_event::kind::begin_case:
      for (const renderer_slot& slot : slots) {
        if (slot.beside == nullptr) slot.renderer->begin_case(record);
      }
      return;
    case held_event::kind::line:
      tell_all(slots, [&](result_renderer& r) { r.line(record, event.result); });
      return;
    case held_event::kind::end_case:
      tell_all(slots, [&](result_renderer& r) { r.end_case(record, event.tally); });
      return;
  }
}

// The layout expected `distance` output lines below line `index` of a case (above it when
// negative): null where unknown or not built.
const key_list* layout_at(const case_result& record, const neighbours& around, std::size_t index,
                          std::int64_t distance) {
  const std::int64_t place = static_cast<std::int64_t>(index) + distance;
  const auto lines = static_cast<std::int64_t>(all_strategies.size());
  if (place < 0 || place >= lines) {
    const std::size_t away = static_cast<std::size_t>(place < 0 ? -place : place - lines + 1) - 1;
    const key_list* beside = (place < 0 ? around.above : around.below)[away];
    return beside;
  }
  return record.state == case_state::built
             ? &layout_of(record.expected, all_strategies[static_cast<std::size_t>(place)])
             : nullptr;
}

std::int64_t length_of(const key_list* layout) {
  return layout == nullptr ? 0 : static_cast<std::int64_t>(layout->size());
}

// Names a line as the shift settled so far says, and counts it as evidence of the program's
// mistake: each line once, as it is told.
void settle_line(shape_pass& pass, const line_shift& shift, line_result& result) {
  name_shift(shift, result);
  if (result.details) count_evidence(*result.details, pass.seen);
}

}  // namespace

void release(shape_pass& pass, std::span<const renderer_slot> slots, bool all) {
  const std::int64_t settled = all ? INT64_MAX : pass.finder.settled_before();
  const line_shift shift = pass.finder.settled();
  while (!pass.held.empty()) {
    held_event& event = pass.held.front();
    if (event.what == held_event::kind::line && event.fed >= settled) return;
    if (event.what == held_event::kind::line) settle_line(pass, shift, event.result);
    tell_event(slots, event);
    pass.held.pop_front();
  }
}

bool tell(shape_pass* pass, std::span<const renderer_slot> slots, held_event& event) {
  const bool renames = pass != nullptr && pass->diagnose;
  const bool is_line = event.what == held_event::kind::line;
  if (renames && (!pass->held.empty() || (is_line && event.fed >= pass->finder.settled_before()))) {
    pass->held.push_back(std::move(event));
    return true;
  }
  if (renames && is_line) settle_line(*pass, pass->finder.settled(), event.result);
  tell_event(slots, event);
  return false;
}

void finish_shape(shape_pass& pass, line_reader& output_f, std::span<const renderer_slot> slots,
                  bool completed, run_summary& summary) {
  if (!pass.judging) return;
  bool read = completed;
  for (read_status status = read ? skip_line(output_f) : read_status::end;
       status != read_status::end; status = skip_line(output_f)) {
    read = status != read_status::error;
    if (!read) break;
    ++pass.shape.extra_lines;
  }
  pass.shape.shift = pass.finder.finish();
  release(pass, slots, true);
  pass.shape.empty = pass.graded && !pass.token;
  pass.shape.judged = true;
  if (pass.diagnose) {
    pass.shape.likely = likely_mistakes(pass.seen);
    pass.shape.wrong_lines = pass.seen.wrong_lines;
  }
  summary.shape = read ? pass.shape : submission_shape{};
  if (!pass.told) tell_all(slots, [&](result_renderer& r) { r.shape_judged(summary.shape); });
}

std::size_t shape_key_limit(const case_result& record, const neighbours& around,
                            std::size_t index) {
  std::int64_t longest = record.state == case_state::built ? record.table_size : 0;
  for (std::int64_t lines = 1; lines <= max_shift_lines; ++lines) {
    longest = std::max({longest, length_of(layout_at(record, around, index, lines)),
                        length_of(layout_at(record, around, index, -lines))});
  }
  return kept_keys(longest);
}

shift_holds look_at_line(shape_pass& pass, const case_result& record, const neighbours& around,
                         std::size_t index, read_status status, const parsed_line& parsed) {
  const bool read = status == read_status::line;
  if (status == read_status::end) ++pass.shape.missing_lines;
  if (record.state == case_state::built) {
    pass.graded = true;
    pass.token = pass.token || (read && (!parsed.keys.empty() || parsed.dropped_keys > 0 ||
                                         parsed.fault != token_fault::none));
  }
  if (read && pass.shape.separator == key_separator::spaces) {
    pass.shape.separator = separator_of(parsed);
  }
  // A line cut short is longer than every layout it is compared with.
  const bool has_keys = read && parsed.fault == token_fault::none && parsed.dropped_keys == 0;
  if (!has_keys) return 0;
  const auto holds = [&](std::int64_t distance) {
    const key_list* layout = layout_at(record, around, index, distance);
    return layout != nullptr && parsed.keys == *layout;
  };
  shift_holds found = 0;
  for (std::int64_t lines = 1; lines <= max_shift_lines; ++lines) {
    if (holds(lines)) found |= shift_bit(true, lines);
    if (holds(-lines)) found |= shift_bit(false, lines);
  }
  return found;
}

void feed_line(shape_pass& pass, std::span<const renderer_slot> slots, bool wrong,
               shift_holds holds) {
  pass.finder.step(wrong, holds);
  if (!pass.token || pass.told) return;
  pass.told = true;
  submission_shape so_far;
  so_far.judged = true;
  tell_all(slots, [&](result_renderer& r) { r.shape_judged(so_far); });
}

void keep_graded_keys(parsed_line& parsed, std::size_t key_limit) {
  if (parsed.keys.size() <= key_limit) return;
  parsed.dropped_keys += static_cast<std::int64_t>(parsed.keys.size() - key_limit);
  parsed.keys.resize(key_limit);
  std::erase_if(parsed.lenient,
                [key_limit](const lenient_token& token) { return token.index >= key_limit; });
}
