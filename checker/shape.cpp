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

std::uint64_t layout_digest(const key_list& keys) { return digest_of(keys); }

void shift_finder::line(std::uint64_t submitted) {
  const std::int64_t i = at_;
  const auto count = static_cast<std::int64_t>(expected_.size());
  if (i >= count) {
    ++at_;
    settle();
    return;
  }
  const auto at = [&](std::int64_t j) { return expected_[static_cast<std::size_t>(j)]; };
  const bool known = submitted != no_layout;
  shift_holds holds = 0;
  for (std::int64_t lines = 1; known && lines <= max_shift_lines; ++lines) {
    if (i + lines < count && submitted == at(i + lines)) holds |= shift_bit(true, lines);
    if (i >= lines && submitted == at(i - lines)) holds |= shift_bit(false, lines);
  }
  far_lines far_above{};
  std::size_t found = 0;
  for (std::int64_t j = i - max_shift_lines - 1; known && j >= 0 && found < far_slots; --j) {
    if (submitted == at(j)) far_above[found++] = i - j;
  }
  step(!known || submitted != at(i), holds, far_above);
}

void shift_finder::step(bool wrong, shift_holds holds, const far_lines& far_above) {
  ++at_;
  waiting_line fed_line{at_, wrong, {}};
  fed_line.runs.fill(-1);
  for (std::size_t slot = 0; slot < near_slots; ++slot) {
    const bool held = (holds & (shift_holds{1} << slot)) != 0;
    step_slot(slot, held ? static_cast<std::int64_t>(slot / 2) + 1 : 0, wrong, fed_line);
  }
  // A run further up goes on in its own slot while the line holds its distance; a distance new
  // to the line takes a slot left free.
  const auto holds_far = [&](std::int64_t distance) {
    return distance != 0 &&
           std::find(far_above.begin(), far_above.end(), distance) != far_above.end();
  };
  for (std::size_t slot = near_slots; slot < slot_count; ++slot) {
    if (slots_[slot].open && !holds_far(record(slots_[slot].id).distance)) {
      step_slot(slot, 0, wrong, fed_line);
    }
  }
  for (const std::int64_t distance : far_above) {
    if (distance == 0) continue;
    std::size_t slot = near_slots;
    while (slot < slot_count &&
           !(slots_[slot].open && record(slots_[slot].id).distance == distance)) {
      ++slot;
    }
    if (slot == slot_count) {
      slot = near_slots;
      while (slots_[slot].open) ++slot;
    }
    step_slot(slot, distance, wrong, fed_line);
  }
  waiting_.push_back(fed_line);
  settle();
}

far_lines shift_finder::open_far() const {
  far_lines open{};
  std::size_t count = 0;
  for (std::size_t slot = near_slots; slot < slot_count; ++slot) {
    if (!slots_[slot].open) continue;
    open[count++] = records_[static_cast<std::size_t>(slots_[slot].id - first_id_)].distance;
  }
  return open;
}

void shift_finder::step_slot(std::size_t slot, std::int64_t distance, bool wrong,
                             waiting_line& line) {
  open_slot& open = slots_[slot];
  if (open.open && (distance == 0 || record(open.id).distance != distance)) {
    record(open.id).closed = true;
    open.open = false;
  }
  if (distance == 0) return;
  if (!open.open) {
    if (records_.empty()) first_id_ = next_id_;
    open = open_slot{true, next_id_++};
    records_.push_back(run_record{0, 0, 0, slot, distance, false});
  }
  run_record& run = record(open.id);
  run.last = at_;
  if (open.id == first_run_) first_.last = at_;
  line.runs[slot] = open.id;
  if (!wrong) return;
  if (run.first_wrong == 0) run.first_wrong = at_;
  ++run.wrong;
}

void shift_finder::settle() {
  // A run with one Wrong line may yet count: that line, and every one after it, waits.
  settled_ = at_ + 1;
  for (const open_slot& open : slots_) {
    if (open.open && record(open.id).wrong == 1) {
      settled_ = std::min(settled_, record(open.id).first_wrong);
    }
  }
  while (!waiting_.empty() && waiting_.front().line < settled_) {
    settle(waiting_.front());
    waiting_.pop_front();
  }
  // A run that ended before the lines still waiting names none of them.
  while (!records_.empty() && records_.front().closed && records_.front().last < settled_) {
    records_.pop_front();
    ++first_id_;
  }
}

void shift_finder::settle(const waiting_line& line) {
  const run_record* best = nullptr;
  std::int64_t best_id = -1;
  for (std::size_t slot = 0; line.wrong && slot < slot_count; ++slot) {
    const std::int64_t id = line.runs[slot];
    if (id < 0) continue;
    const run_record& run = record(id);
    // Of two that start together, the nearer wins: a near slot comes first, far ones by distance.
    const bool better = best == nullptr || run.first_wrong < best->first_wrong ||
                        (run.first_wrong == best->first_wrong && run.distance < best->distance &&
                         best->slot >= near_slots);
    if (run.wrong >= 2 && better) {
      best = &run;
      best_id = id;
    }
  }
  line_shift shift;
  if (best != nullptr) {
    const bool missing = best->slot < near_slots && best->slot % 2 == 0;
    shift = line_shift{true, missing, best->first_wrong, best->last, best->distance};
    if (!first_.found) {
      first_ = shift;
      first_run_ = best_id;
    } else if (best_id != last_id_) {
      ++more_runs_;
      last_run_ = shift;
    }
    last_id_ = best_id;
  }
  if (kept_for_lines) named_.push_back(shift);
}

line_shift shift_finder::shift_of(std::int64_t output_line) {
  while (!named_.empty() && named_from_ < output_line) {
    named_.pop_front();
    ++named_from_;
  }
  return named_.empty() || named_from_ != output_line ? line_shift{} : named_.front();
}

line_shift shift_finder::finish() {
  for (open_slot& open : slots_) {
    if (open.open) record(open.id).closed = true;
    open.open = false;
  }
  settle();
  return first_;
}

void layout_index::add(std::uint64_t digest) {
  const auto line = static_cast<std::int64_t>(digests.size());
  digests.push_back(digest);
  std::int64_t before = -1;
  if (digest != no_layout) {
    const auto [place, added] = latest.try_emplace(digest, line);
    if (!added) before = std::exchange(place->second, line);
  }
  same_before.push_back(before);
}

far_lines layout_index::far_above(std::uint64_t digest, std::int64_t line,
                                  const far_lines& open) const {
  far_lines found{};
  std::size_t count = 0;
  const auto take = [&](std::int64_t distance) {
    if (std::find(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count), distance) ==
        found.begin() + static_cast<std::ptrdiff_t>(count)) {
      found[count++] = distance;
    }
  };
  // A run still open goes on first, whatever nearer lines share its layout.
  for (const std::int64_t distance : open) {
    const std::int64_t above = line - 1 - distance;
    if (distance != 0 && above >= 0 && digests[static_cast<std::size_t>(above)] == digest) {
      take(distance);
    }
  }
  const auto latest_line = latest.find(digest);
  std::int64_t above = latest_line == latest.end() ? -1 : latest_line->second;
  for (; above >= 0 && count < far_slots; above = same_before[static_cast<std::size_t>(above)]) {
    // Lines near it (and those below it, of its own case) are the neighbours' business.
    if (line - (above + 1) > max_shift_lines) take(line - (above + 1));
  }
  // Nearer first; a few at most, so sorted by insertion.
  for (std::size_t i = 1; i < count; ++i) {
    for (std::size_t j = i; j > 0 && found[j - 1] > found[j]; --j) {
      std::swap(found[j - 1], found[j]);
    }
  }
  return found;
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
// mistake: each line once, as it is told. A line past the end of the file is the output cut
// short, which the shape says, and no evidence of the program's mistake.
void settle_line(shape_pass& pass, const line_shift& shift, line_result& result) {
  name_shift(shift, result);
  if (result.details && result.problem != line_problem::missing) {
    count_evidence(*result.details, pass.seen);
  }
}

}  // namespace

void release(shape_pass& pass, std::span<const renderer_slot> slots, bool all) {
  const std::int64_t settled = all ? INT64_MAX : pass.finder.settled_before();
  while (!pass.held.empty()) {
    held_event& event = pass.held.front();
    if (event.what == held_event::kind::line && event.fed >= settled) return;
    if (event.what == held_event::kind::line) {
      settle_line(pass, pass.finder.shift_of(event.fed), event.result);
    }
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
  if (renames && is_line) settle_line(*pass, pass->finder.shift_of(event.fed), event.result);
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
  pass.shape.more_runs = pass.finder.more_runs();
  pass.shape.last_run = pass.finder.last_run();
  release(pass, slots, true);
  pass.shape.empty = pass.graded && !pass.token;
  pass.shape.judged = true;
  if (pass.diagnose) {
    pass.shape.likely = likely_mistakes(pass.seen);
    pass.shape.wrong_lines = pass.seen.wrong_lines;
    pass.shape.unexplained_lines = pass.seen.unexplained;
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

namespace {

// Adds a case's layouts to those of the lines graded so far, when its first line is read.
void index_case(layout_index& earlier, const case_result& record) {
  for (const strategy_id strategy : all_strategies) {
    earlier.add(record.state == case_state::built ? digest_of(layout_of(record.expected, strategy))
                                                  : no_layout);
  }
}

// The lines further up whose layouts a line holds. Only a
// Wrong line is digested, so a file of Right lines costs no pass over its keys; a line cut short
// is digested as it was read, whole.
far_lines far_layout(const shape_pass& pass, const key_list* own, const parsed_line& parsed) {
  if (parsed.fault != token_fault::none) return {};
  if (parsed.dropped_keys == 0 && own != nullptr && parsed.keys == *own) return {};
  const std::uint64_t digest =
      parsed.dropped_keys == 0 ? digest_of(parsed.keys) : parsed.whole.value();
  return pass.earlier.far_above(digest, pass.finder.fed() + 1, pass.finder.open_far());
}

}  // namespace

shift_holds look_at_line(shape_pass& pass, const case_result& record, const neighbours& around,
                         std::size_t index, read_status status, const parsed_line& parsed,
                         far_lines& far_above) {
  const bool read = status == read_status::line;
  if (index == 0) index_case(pass.earlier, record);
  far_above = {};
  if (status == read_status::end) ++pass.shape.missing_lines;
  if (record.state == case_state::built) {
    pass.graded = true;
    pass.token = pass.token || (read && (!parsed.keys.empty() || parsed.dropped_keys > 0 ||
                                         parsed.fault != token_fault::none));
  }
  if (read && pass.shape.separator == key_separator::spaces) {
    pass.shape.separator = separator_of(parsed);
  }
  if (read) far_above = far_layout(pass, layout_at(record, around, index, 0), parsed);
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
               shift_holds holds, const far_lines& far_above) {
  pass.finder.kept_for_lines = pass.diagnose;
  pass.finder.step(wrong, holds, far_above);
  if (!pass.token || pass.told) return;
  pass.told = true;
  submission_shape so_far;
  so_far.judged = true;
  tell_all(slots, [&](result_renderer& r) { r.shape_judged(so_far); });
}

void keep_graded_keys(parsed_line& parsed, std::size_t key_limit) {
  if (parsed.keys.size() <= key_limit) return;
  if (parsed.dropped_keys == 0) {
    parsed.whole = key_digest{};
    for (const key k : parsed.keys) parsed.whole.add(k);
  }
  parsed.dropped_keys += static_cast<std::int64_t>(parsed.keys.size() - key_limit);
  parsed.keys.resize(key_limit);
  std::erase_if(parsed.lenient,
                [key_limit](const lenient_token& token) { return token.index >= key_limit; });
}
