#include "checker/reveal.h"

#include <array>
#include <utility>

#include "checker/diagnosis.h"

namespace {

constexpr std::array<std::pair<std::string_view, reveal_level>, 4> level_names{{
    {"all", reveal_level::all},
    {"diagnosis", reveal_level::diagnosis},
    {"verdict", reveal_level::verdict},
    {"score", reveal_level::score},
}};

// The diagnosis less everything taken from the correct build: the expected key and slot, the
// misplaced key (often one the student never wrote), its probe path and the keys the correct
// table holds that the line lacks.
std::shared_ptr<const diagnosis> without_answer(const diagnosis& full) {
  auto d = std::make_shared<diagnosis>();
  d->table_size = full.table_size;
  d->slot_count = full.slot_count;
  d->first_wrong_slot = full.first_wrong_slot;
  d->submitted_key = full.submitted_key;
  d->differing_slots = full.differing_slots;
  d->unknown_keys = full.unknown_keys;
  d->unknown_count = full.unknown_count;
  d->repeated_keys = full.repeated_keys;
  d->repeated_count = full.repeated_count;
  d->notes = full.notes;
  d->mistake = full.mistake;
  d->mistake_text = full.mistake_text;
  return d;
}

}  // namespace

std::string_view reveal_key(reveal_level level) {
  for (const auto& [name, named] : level_names) {
    if (named == level) return name;
  }
  return "all";
}

std::optional<reveal_level> parse_reveal(std::string_view text) {
  for (const auto& [name, level] : level_names) {
    if (text == name) return level;
  }
  return std::nullopt;
}

reveal_policy policy_of(reveal_level level) {
  switch (level) {
    case reveal_level::all:
      return {};
    case reveal_level::diagnosis:
      return {false, true, true, true};
    case reveal_level::verdict:
      return {false, true, false, false};
    case reveal_level::score:
      break;
  }
  return {false, false, false, false};
}

void reveal_filter::begin_run(const run_header& header) {
  policy_ = policy_of(header.reveal);
  inner_->begin_run(header);
}

void reveal_filter::begin_case(const case_result& record) { inner_->begin_case(shown(record)); }

void reveal_filter::line(const case_result& record, const line_result& result) {
  if (policy_.answer) {
    inner_->line(record, result);
    return;
  }
  line_result kept;
  kept.strategy = result.strategy;
  kept.output_line = result.output_line;
  kept.judged = result.judged;
  if (policy_.submitted) {
    kept.problem = result.problem;
    kept.submitted = result.submitted;
    kept.truncated_keys = result.truncated_keys;
    kept.token = result.token;
    kept.token_cut = result.token_cut;
    kept.fault = result.fault;
    kept.notes = result.notes;
  }
  if (policy_.diagnosis && result.details) kept.details = without_answer(*result.details);
  inner_->line(shown(record), kept);
}

void reveal_filter::end_case(const case_result& record, const case_tally& tally) {
  inner_->end_case(shown(record), tally);
}

// The case as the level shows it: its layouts, keys and message go, which also keeps a copy of
// a large case's lists from being made at all.
const case_result& reveal_filter::shown(const case_result& record) {
  if (policy_.answer) return record;
  case_.number = record.number;
  case_.size_line = record.size_line;
  case_.table_size = record.table_size;
  case_.state = record.state;
  return case_;
}
