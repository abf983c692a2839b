#include "checker/reveal.h"

#include <array>
#include <utility>

#include "checker/diagnosis.h"

namespace {

constexpr std::array<std::pair<std::string_view, reveal_level>, 5> level_names{{
    {"all", reveal_level::all},
    {"diagnosis", reveal_level::diagnosis},
    {"mistake", reveal_level::mistake},
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
  d->searched = full.searched;
  d->pairs_searched = full.pairs_searched;
  return d;
}

// The named mistake and its sentence alone: no slot, key, count or position, so that however
// often a student resubmits, no layout can be rebuilt from it; an unexplained line says so. Null
// when no mistake was looked for.
std::shared_ptr<const diagnosis> mistake_only(const diagnosis& full) {
  if (!full.mistake && !full.searched) return nullptr;
  auto d = std::make_shared<diagnosis>();
  d->mistake = full.mistake;
  d->mistake_text = full.mistake_text;
  d->searched = full.searched;
  d->pairs_searched = full.pairs_searched;
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

std::string_view reveal_choices() { return "all, diagnosis, mistake, verdict or score"; }

void reveal_filter::begin_run(const run_header& header) {
  level_ = header.reveal;
  if (level_ == reveal_level::all) {
    inner_->begin_run(header);
    return;
  }
  run_header kept = header;
  kept.class_page.clear();  // the class's page lists every student: not for a student's eyes
  kept.student_view = true;
  inner_->begin_run(kept);
}

void reveal_filter::shape_judged(const submission_shape& shape) {
  inner_->shape_judged(shown(shape));
}

void reveal_filter::begin_case(const case_result& record) {
  if (level_ == reveal_level::score) return;
  inner_->begin_case(shown(record));
}

void reveal_filter::line(const case_result& record, const line_result& result) {
  if (level_ == reveal_level::all) {
    inner_->line(record, result);
    return;
  }
  if (level_ == reveal_level::score) return;
  line_result kept;
  kept.strategy = result.strategy;
  kept.output_line = result.output_line;
  kept.judged = result.judged;
  if (level_ == reveal_level::diagnosis) {
    kept.problem = result.problem;
    kept.submitted = result.submitted;
    kept.truncated_keys = result.truncated_keys;
    kept.token = result.token;
    kept.token_cut = result.token_cut;
    kept.fault = result.fault;
    kept.notes = result.notes;
    if (result.details) kept.details = without_answer(*result.details);
  } else {
    kept.submission_withheld = true;
    if (level_ == reveal_level::mistake && result.details) {
      kept.details = mistake_only(*result.details);
    }
  }
  inner_->line(shown(record), kept);
}

void reveal_filter::end_case(const case_result& record, const case_tally& tally) {
  if (level_ == reveal_level::score) return;
  inner_->end_case(shown(record), tally);
}

void reveal_filter::end_run(const run_summary& summary) {
  if (level_ == reveal_level::all) {
    inner_->end_run(summary);
    return;
  }
  run_summary kept = summary;
  kept.shape = shown(summary.shape);
  inner_->end_run(kept);
}

// The case as the level shows it: its layouts, keys and refusal message go, which also keeps a
// copy of a large case's lists from being made at all. A case not built keeps its message: it
// says only that the table's memory could not be had.
const case_result& reveal_filter::shown(const case_result& record) {
  if (level_ == reveal_level::all) return record;
  case_.number = record.number;
  case_.size_line = record.size_line;
  case_.table_size = record.table_size;
  case_.state = record.state;
  case_.message.clear();
  if (record.state == case_state::not_built) case_.message = record.message;
  case_.answer_withheld = true;
  return case_;
}

// The shape as the level shows it. Below `diagnosis` the line numbers of a shift go: they tell
// which submitted lines hold right layouts. At `verdict` and `score` only whether the file is
// empty stays, which the student knows and which decides whether a report lists cases at all.
submission_shape reveal_filter::shown(const submission_shape& shape) const {
  switch (level_) {
    case reveal_level::all:
    case reveal_level::diagnosis:
      return shape;
    case reveal_level::mistake: {
      submission_shape kept = shape;
      kept.shift.first = 0;
      kept.shift.last = 0;
      return kept;
    }
    case reveal_level::verdict:
    case reveal_level::score:
      break;
  }
  submission_shape kept;
  kept.empty = shape.empty;
  return kept;
}
