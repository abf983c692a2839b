#include "checker/step_trace.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>

namespace {

// ---- The correct table as it stood ----

// Slots are never emptied, and a key never moves once stored, so a slot held, when the root went
// in, whatever it holds in the end if that key went in earlier, and nothing otherwise.
struct correct_table {
  const walk_source& source;
  std::int64_t root_rank = -1;
  int root_stage = 0;
};

// Insertion stages: two-pass hashing stores the first keys that end in their home slot (no other
// first key can), then its other first keys, then the second keys; the others take every key in
// one stage. Within a stage keys go in by first position.
int stage_of(const walk_source& source, std::int64_t rank, std::optional<std::int64_t> slot) {
  if (!traits_of(source.strategy).first_list_two_passes) return 0;
  const std::size_t at = static_cast<std::size_t>(rank);
  if (source.order->first_position[at] >= source.first_keys->size()) return 2;
  return slot == primary_hash(source.order->distinct[at], source.table_size) ? 0 : 1;
}

key held_before(const correct_table& table, std::int64_t slot) {
  const walk_source& source = table.source;
  const key held = (*source.expected)[static_cast<std::size_t>(slot)];
  if (held == 0 || held == source.root) return 0;
  const std::int64_t rank = rank_of(*source.order, held);
  if (rank < 0) return 0;
  const int stage = stage_of(source, rank, slot);
  if (stage != table.root_stage) return stage < table.root_stage ? held : 0;
  const std::vector<std::uint32_t>& position = source.order->first_position;
  return position[static_cast<std::size_t>(rank)] <
                 position[static_cast<std::size_t>(table.root_rank)]
             ? held
             : 0;
}

// ---- Which steps and slots are kept ----

bool kept_step(std::int64_t number, std::int64_t length) {
  return number <= walk_head_steps || number > length - walk_tail_steps;
}

// Walks longer than the kept steps drop the middle ones; `steps` is in order.
void keep_head_and_tail(std::vector<walk_step>& steps, std::int64_t length) {
  std::erase_if(steps, [length](const walk_step& s) { return !kept_step(s.number, length); });
}

// The whole table when it is small, else windows around the kept steps' slots, merged.
std::vector<table_span> stood_spans(const std::vector<walk_step>& steps, std::int64_t table_size,
                                    const std::function<key(std::int64_t)>& held) {
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
  if (table_size <= walk_whole_table_slots) {
    ranges.emplace_back(0, table_size);
  } else {
    std::transform(steps.begin(), steps.end(), std::back_inserter(ranges),
                   [table_size](const walk_step& s) {
                     return std::pair{std::max<std::int64_t>(0, s.slot - walk_window_radius),
                                      std::min(table_size, s.slot + walk_window_radius + 1)};
                   });
    std::sort(ranges.begin(), ranges.end());
  }
  std::vector<table_span> spans;
  for (const auto& [begin, end] : ranges) {
    if (!spans.empty()) {
      table_span& last = spans.back();
      const std::int64_t last_end = last.begin + static_cast<std::int64_t>(last.keys.size());
      if (begin <= last_end) {
        for (std::int64_t slot = last_end; slot < end; ++slot) last.keys.push_back(held(slot));
        continue;
      }
    }
    table_span span{begin, {}};
    for (std::int64_t slot = begin; slot < end; ++slot) span.keys.push_back(held(slot));
    spans.push_back(std::move(span));
  }
  return spans;
}

// ---- The two walks ----

build_walk correct_walk(const correct_table& table) {
  const walk_source& source = table.source;
  build_walk walk;
  walk.build = "correct";
  walk.length = source.length;
  walk.settles = source.settles;
  for (std::int64_t number = 1; number <= source.length; ++number) {
    if (!kept_step(number, source.length)) {
      number = source.length - walk_tail_steps;
      continue;
    }
    const std::int64_t slot =
        probe_slot(build_rules{}, source.strategy, source.table_size, source.root, number - 1);
    if (slot < 0) break;
    walk.steps.push_back({number, slot, held_before(table, slot)});
  }
  walk.stood = stood_spans(walk.steps, source.table_size,
                           [&table](std::int64_t slot) { return held_before(table, slot); });
  return walk;
}

// Tries the root under the mistake, on the mistaken build's table as it stood, beside the
// correct tries, until one step after they part.
std::optional<build_walk> mistake_walk(const correct_table& table) {
  const walk_source& source = table.source;
  const mistake_build& made = *source.mistake;
  const std::int64_t m = source.table_size;
  if (m < smallest_variant_table || m > largest_variant_table) return std::nullopt;
  // A key the mistake never inserts makes no tries in its build; where key 0 takes a slot, a
  // slot that prints empty may be taken, and where keys are written over, a slot's key may leave
  // it, so no tries are shown.
  if (made.rules.zero_is_key || made.rules.overwrite != overwrite_rule::none ||
      !inserts_key(made.rules, *source.order, source.first_keys->size(), source.root)) {
    return std::nullopt;
  }
  const key_list before =
      table_before(made.rules, made.strategy, static_cast<std::int32_t>(m), *source.first_keys,
                   *source.second_keys, *source.order, source.root);
  if (static_cast<std::int64_t>(before.size()) != m) return std::nullopt;
  build_walk walk;
  walk.build = source.mistake_name;
  for (std::int64_t i = 0;; ++i) {
    const std::int64_t slot = probe_slot_in(made.rules, made.strategy, before, source.root, i);
    if (slot < 0) break;
    const key held = before[static_cast<std::size_t>(slot)];
    const std::int64_t number = i + 1;
    const bool alike = number <= source.length &&
                       probe_slot(build_rules{}, source.strategy, m, source.root, i) == slot &&
                       held_before(table, slot) == held;
    if (!alike && !walk.parts_at) walk.parts_at = number;
    walk.steps.push_back({number, slot, held});
    walk.length = number;
    if (held == 0) {
      walk.settles = slot;
      break;
    }
    if (walk.parts_at && number > *walk.parts_at) {
      walk.cut_short = true;
      break;
    }
  }
  // A walk that ends where the correct one goes on, or goes on where it ends, parts there.
  if (!walk.parts_at && (walk.length != source.length || walk.settles != source.settles)) {
    walk.parts_at = std::min(walk.length, source.length) + 1;
  }
  keep_head_and_tail(walk.steps, walk.length);
  walk.stood = stood_spans(walk.steps, m, [&before](std::int64_t slot) {
    return before[static_cast<std::size_t>(slot)];
  });
  return walk;
}

bool traceable(const walk_source& source) {
  if (source.first_keys == nullptr || source.second_keys == nullptr || source.order == nullptr ||
      source.expected == nullptr || source.table_size <= 0) {
    return false;
  }
  return static_cast<std::int64_t>(source.expected->size()) == source.table_size &&
         rank_of(*source.order, source.root) >= 0;
}

}  // namespace

step_trace trace_steps(const walk_source& source) {
  step_trace trace;
  if (!traceable(source)) return trace;
  correct_table table{source, rank_of(*source.order, source.root), 0};
  table.root_stage = stage_of(source, table.root_rank, source.settles);
  trace.correct = correct_walk(table);
  if (source.mistake) trace.mistake = mistake_walk(table);
  return trace;
}
