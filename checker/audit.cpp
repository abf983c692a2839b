#include "checker/audit.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

#include "hashing/huge_pages.h"
#include "hashing/program_limits.h"
#include "hashing/thread_start.h"

namespace {

constexpr auto lines_per_case = static_cast<std::int64_t>(strategy_count);

std::int64_t output_line_of(std::int64_t case_number, std::size_t index) {
  return case_number * lines_per_case + static_cast<std::int64_t>(index) + 1;
}

// ---- What a case offers ----

std::int64_t longest_filled_run(const key_list& layout) {
  std::int64_t longest = 0;
  std::int64_t run = 0;
  for (const key k : layout) {
    run = k == 0 ? 0 : run + 1;
    longest = std::max(longest, run);
  }
  return longest;
}

// A key that went on from slot 0 sits below the slot its linear scan started after, unless one of
// its hash probes put it there.
bool scan_wrapped(const key_list& layout, strategy_id strategy, std::int64_t m) {
  const probe_rules& rules = traits_of(strategy).rules;
  for (std::int64_t slot = 0; slot < static_cast<std::int64_t>(layout.size()); ++slot) {
    const key k = layout[static_cast<std::size_t>(slot)];
    if (k == 0 || slot >= scan_start(rules, m, k)) continue;
    const std::int64_t tries = tries_to(rules, m, k, slot);
    if (tries < 0 || tries > rules.probes) return true;
  }
  return false;
}

// First-list keys are all inserted before any second-list key and never move, so the slots they
// hold are those of a linear-probing table of the first list alone, built here into `scratch`.
std::int64_t count_second_homed_on_first(const marked_lists& marked, std::int64_t m,
                                         key_list& scratch) {
  const key_list none;
  marked_lists first_only = marked;
  first_only.second_keys = &none;
  build_correct_into(strategy_id::linear_probing, static_cast<std::int32_t>(m), first_only,
                     scratch);
  const key_list& second = *marked.second_keys;
  const std::size_t offset = marked.first_keys->size();
  std::int64_t count = 0;
  for (std::size_t i = 0; i < second.size(); ++i) {
    const std::size_t p = offset + i;
    if (((marked.fresh[p / 64] >> (p % 64)) & 1U) == 0) continue;
    const auto home = static_cast<std::size_t>(primary_hash(second[i], m));
    count += home < scratch.size() && scratch[home] != 0 ? 1 : 0;
  }
  return count;
}

case_facts facts_of(const case_result& record) {
  case_facts facts;
  facts.number = record.number;
  facts.size_line = record.size_line;
  facts.table_size = record.table_size;
  facts.state = record.state;
  facts.message = record.message;
  return facts;
}

// Adds what the correct layout of one strategy shows to the facts of its case.
void add_layout_facts(case_facts& facts, const key_list& layout, strategy_id strategy) {
  if (strategy == all_strategies.front()) {
    facts.stored_keys = std::count_if(layout.begin(), layout.end(), [](key k) { return k != 0; });
  }
  facts.longest_run = std::max(facts.longest_run, longest_filled_run(layout));
  facts.wrapped = facts.wrapped || scan_wrapped(layout, strategy, facts.table_size);
}

// A build that only stops scanning at the last slot agrees with the correct one until a scan of
// the correct one goes on from slot 0, which the correct layout alone shows (see scan_wrapped).
bool told_by_layout(mistake_id mistake) {
  const mistake_entry& entry = catalogue_entry(mistake);
  return entry.check == mistake_check::wrong_build && entry.reading_count == 1 &&
         !entry.readings[0].wrap;
}

// ---- Comparisons, on helper threads where a table pays for them ----

// One build compared with the correct layout held: a mistake's, or, without `id`, the correct
// build of `strategy` from `lists` (another strategy's layout of the case, or the lists swapped).
}  // namespace

struct audit_comparison {
  std::size_t verdict = 0;  // where the outcome goes: a verdict, or a pair of the case's layouts
  bool layout_pair = false;
  std::size_t reading = 0;
  std::optional<wrong_build> id;
  strategy_id strategy = strategy_id::linear_probing;
  const marked_lists* lists = nullptr;
  variant_outcome outcome = variant_outcome::undecided;
};

namespace {

struct comparison_board {
  std::span<audit_comparison> items;
  const key_list* reference = nullptr;
  std::int32_t table_size = 0;
  std::atomic<std::size_t> next{0};
};

// Takes comparisons off the board until none is left. Each writes only its own outcome, so the
// outcomes are the same whichever thread takes which.
void* take_comparisons(void* argument) {
  auto* board = static_cast<comparison_board*>(argument);
  for (std::size_t i = board->next++; i < board->items.size(); i = board->next++) {
    audit_comparison& c = board->items[i];
    c.outcome =
        c.id ? compare_variant(*c.id, c.strategy, board->table_size, *c.lists, *board->reference)
             : compare_correct(c.strategy, board->table_size, *c.lists, *board->reference);
  }
  return nullptr;
}

// From large_case_slots on, a case's comparisons are shared with helper threads; each takes about
// a bit a slot. Smaller tables don't pay for a thread.
constexpr std::size_t most_helpers = 3;
constexpr std::size_t helper_stack_bytes = std::size_t{1} << 19;

std::size_t helpers_wanted(std::size_t comparisons) {
  const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
  return std::min({cores - 1, most_helpers, comparisons - 1});
}

// Runs every comparison against `reference`; where a helper thread can't be had, this thread
// takes its share.
void run_comparisons(std::span<audit_comparison> items, const key_list& reference,
                     std::int64_t table_size, bool threads) {
  if (items.empty()) return;
  comparison_board board;
  board.items = items;
  board.reference = &reference;
  board.table_size = static_cast<std::int32_t>(table_size);
  std::array<helper_thread, most_helpers> helpers;
  if (threads && table_size >= large_case_slots) {
    for (std::size_t h = 0; h < helpers_wanted(items.size()); ++h) {
      helpers[h].start(take_comparisons, &board, helper_stack_bytes);
    }
  }
  take_comparisons(&board);
  for (helper_thread& helper : helpers) helper.join();
}

// The pair of strategies `a` and `b` whose layouts are compared, by its index among the
// comparisons and in a case's `equal_layouts`.
constexpr std::size_t pair_index(std::size_t a, std::size_t b) {
  return std::min(a, b) * strategy_count + std::max(a, b);
}

// Whether the layouts of strategy `a` and `b` of a case differ.
bool layouts_differ(const equal_layouts& equal, std::size_t a, std::size_t b) {
  return !equal[pair_index(a, b)];
}

}  // namespace

std::vector<wrong_build> readings_of(mistake_id mistake) {
  std::vector<wrong_build> readings;
  for (std::size_t r = 0; r < catalogue_entry(mistake).reading_count; ++r) {
    readings.push_back({mistake, r});
  }
  return readings;
}

bool audit_revealable(mistake_id mistake, strategy_id strategy, std::int64_t table_size) {
  if (!mistake_applies(mistake, strategy)) return false;
  const mistake_check check = catalogue_entry(mistake).check;
  // The kept table shows where a strategy's layout differs from linear probing's, which needs what
  // another strategy's layout needs.
  if (check == mistake_check::other_strategy || check == mistake_check::case_lines) {
    // Below 3 slots every strategy builds the same layout; at 3, double hashing's step is always
    // 1, so it probes just as linear probing scans.
    if (table_size < 3) return false;
    return table_size > 3 || strategy == strategy_id::two_pass_hashing;
  }
  // Below 3 slots the three lines of a case are equal, so a line never differs from both
  // neighbours; from 3 on two-pass hashing can differ from the other two.
  if (check == mistake_check::neighbour_line) return table_size >= 3;
  const std::vector<wrong_build> readings = readings_of(mistake);
  return std::all_of(readings.begin(), readings.end(), [&](wrong_build build) {
    return variant_revealable(build, strategy, table_size);
  });
}

double fill_ratio(const case_facts& facts) {
  if (facts.table_size <= 0) return 0.0;
  return static_cast<double>(facts.stored_keys) / static_cast<double>(facts.table_size);
}

std::size_t revealable_mistakes(const audit_result& result) {
  std::size_t count = 0;
  for (const mistake_id mistake : all_mistakes) {
    count +=
        std::any_of(result.verdicts.begin(), result.verdicts.end(),
                    [&](const audit_verdict& v) { return v.mistake == mistake && v.revealable; })
            ? 1
            : 0;
  }
  return count;
}

// An input whose sizes can't reveal some mistake fails however much it catches: otherwise an
// input of no case, or of one table too small to show anything, would pass.
int audit_status(const audit_result& result) {
  const bool all_caught =
      std::all_of(result.verdicts.begin(), result.verdicts.end(),
                  [](const audit_verdict& v) { return v.caught || !v.revealable; });
  const bool all_revealable = revealable_mistakes(result) == all_mistakes.size();
  return all_caught && all_revealable ? success_status : incomplete_status;
}

audit_collector::audit_collector(bool threads) : threads_(threads) {
  for (const mistake_id mistake : all_mistakes) {
    for (const strategy_id strategy : all_strategies) {
      if (!mistake_applies(mistake, strategy)) continue;
      audit_verdict verdict;
      verdict.mistake = mistake;
      verdict.strategy = strategy;
      result_.verdicts.push_back(verdict);
    }
  }
  first_lines_.resize(result_.verdicts.size());
  reading_revealable_.resize(result_.verdicts.size());
  undecided_.assign(result_.verdicts.size(), false);
}

// A reading is caught on its first line; a mistake once every reading is caught, on the line of
// the reading caught last.
void audit_collector::catch_reading(std::size_t at, std::size_t reading, std::int64_t number,
                                    std::size_t index) {
  auto& lines = first_lines_[at];
  if (lines[reading]) return;
  lines[reading] = output_line_of(number, index);
  audit_verdict& verdict = result_.verdicts[at];
  const std::size_t readings = std::max<std::size_t>(readings_of(verdict.mistake).size(), 1);
  std::int64_t last = 0;
  for (std::size_t r = 0; r < readings; ++r) {
    if (!lines[r]) return;
    last = std::max(last, *lines[r]);
  }
  verdict.caught = true;
  verdict.output_line = last;
  verdict.case_number = (last - 1) / lines_per_case;
}

void audit_collector::reveal(audit_verdict& verdict, std::size_t at, std::int64_t table_size) {
  if (verdict.revealable) return;
  const std::vector<wrong_build> readings = readings_of(verdict.mistake);
  if (readings.empty()) {
    verdict.revealable = audit_revealable(verdict.mistake, verdict.strategy, table_size);
    return;
  }
  auto& revealed = reading_revealable_[at];
  for (std::size_t r = 0; r < readings.size(); ++r) {
    if (!revealed[r]) revealed[r] = variant_revealable(readings[r], verdict.strategy, table_size);
  }
  verdict.revealable =
      std::all_of(revealed.begin(), revealed.begin() + readings.size(), [](bool b) { return b; });
}

void audit_collector::judge_shift(std::int64_t number, std::size_t index, bool differs_above,
                                  bool differs_below) {
  if (!differs_above || !differs_below) return;
  judge_layout_mistake(mistake_check::neighbour_line, number, index);
}

void audit_collector::judge_layout_mistake(mistake_check check, std::int64_t number,
                                           std::size_t index) {
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) {
    const audit_verdict& v = result_.verdicts[at];
    if (catalogue_entry(v.mistake).check == check && v.strategy == all_strategies[index]) {
      catch_reading(at, 0, number, index);
    }
  }
}

// The comparisons that judge the mistakes on strategy `index` against its correct layout, held
// in layout_, after the pairs of the case's layouts that layout_ can tell.
std::vector<audit_comparison> audit_collector::comparisons_for(std::size_t index,
                                                               std::int64_t table_size,
                                                               const marked_lists& marked,
                                                               const marked_lists& swapped) const {
  std::vector<audit_comparison> items;
  const strategy_id strategy = all_strategies[index];
  for (std::size_t other = index + 1; other < strategy_count; ++other) {
    items.push_back(audit_comparison{pair_index(index, other), true, 0, std::nullopt,
                                     all_strategies[other], &marked});
  }
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) {
    const audit_verdict& verdict = result_.verdicts[at];
    if (verdict.strategy != strategy || verdict.caught) continue;
    const std::vector<wrong_build> readings = readings_of(verdict.mistake);
    if (readings.empty()) continue;  // told by comparing the case's layouts
    if (rules_of(readings.front()).lists_swapped) {
      items.push_back(audit_comparison{at, false, 0, std::nullopt, strategy, &swapped});
      continue;
    }
    if (table_size < smallest_variant_table) continue;
    if (told_by_layout(verdict.mistake)) continue;
    for (std::size_t r = 0; r < readings.size(); ++r) {
      if (!first_lines_[at][r]) {
        items.push_back(audit_comparison{at, false, r, readings[r], strategy, &marked});
      }
    }
  }
  return items;
}

// Judges strategy `index` of a case against its correct layout, built into layout_; fills in
// which pairs of the case's layouts are equal, as far as this layout tells.
void audit_collector::judge_strategy(const case_result& record, std::size_t index,
                                     const marked_lists& marked, const marked_lists& swapped,
                                     equal_layouts& equal_pairs) {
  const std::int64_t m = record.table_size;
  const strategy_id strategy = all_strategies[index];
  build_correct_into(strategy, static_cast<std::int32_t>(m), marked, layout_);
  add_layout_facts(facts_, layout_, strategy);
  std::vector<audit_comparison> items = comparisons_for(index, m, marked, swapped);
  run_comparisons(items, layout_, m, threads_);
  for (const audit_comparison& c : items) {
    if (c.layout_pair) {
      equal_pairs[c.verdict] = c.outcome == variant_outcome::same;
    } else if (c.outcome == variant_outcome::undecided) {
      undecided_[c.verdict] = true;  // the build gave up at its probe budget
    } else if (c.outcome == variant_outcome::differs) {
      catch_reading(c.verdict, c.reading, record.number, index);
    }
  }
  if (m < smallest_variant_table) return;
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) {
    const audit_verdict& verdict = result_.verdicts[at];
    // Both builds agree until a scan of the correct one goes on from slot 0: that key is then
    // stored there and dropped by the mistake, and nothing brings it back.
    if (told_by_layout(verdict.mistake) && verdict.strategy == strategy &&
        scan_wrapped(layout_, strategy, m)) {
      catch_reading(at, 0, record.number, index);
    }
  }
}

// Room in layout_ for a table of `table_size` slots; a much larger room left by an earlier case
// is given back first.
bool audit_collector::make_room(std::int64_t table_size) {
  const auto size = static_cast<std::size_t>(std::max<std::int64_t>(table_size, 0));
  const bool oversized = layout_.capacity() > 4 * size + (std::size_t{1} << 16);
  if (layout_.capacity() >= size && !oversized) return true;
  key_list().swap(layout_);
  return try_reserve_keys(layout_, size);
}

void audit_collector::close_pending(bool differs_below) {
  if (pending_) {
    judge_shift(pending_number_, strategy_count - 1, pending_differs_above_, differs_below);
  }
  pending_ = false;
}

// Judges the mistakes told by comparing a case's layouts: each line but the last against the
// lines above and below it (the last waits for the next case), and each line against every other
// strategy's layout.
void audit_collector::judge_case_lines(std::int64_t number, bool differs_above,
                                       const equal_layouts& equal) {
  for (std::size_t index = 0; index + 1 < strategy_count; ++index) {
    const bool above = index == 0 ? differs_above : layouts_differ(equal, index - 1, index);
    judge_shift(number, index, above, layouts_differ(equal, index, index + 1));
  }
  for (std::size_t index = 0; index < strategy_count; ++index) {
    bool unlike_others = true;
    for (std::size_t other = 0; other < strategy_count; ++other) {
      if (other != index && !layouts_differ(equal, index, other)) unlike_others = false;
    }
    if (unlike_others) judge_layout_mistake(mistake_check::other_strategy, number, index);
    // A line the kept table gives holds every key of linear probing's layout where it lies, so it
    // differs from its own correct layout exactly where that differs from linear probing's.
    if (index > 0 && layouts_differ(equal, 0, index)) {
      judge_layout_mistake(mistake_check::case_lines, number, index);
    }
  }
}

bool audit_collector::add_case(const case_result& record) {
  facts_ = facts_of(record);
  if (record.state != case_state::built) {
    close_pending(true);
    result_.cases.push_back(facts_);
    return true;
  }
  const std::int64_t m = record.table_size;
  marked_lists marked;
  marked_lists swapped;
  mark_lists(record.first_keys, record.second_keys, marked, &swapped);
  // The case before left its last layout in layout_: the line above this case's first one.
  const bool differs_above =
      !pending_ || compare_correct(all_strategies.front(), static_cast<std::int32_t>(m), marked,
                                   layout_) != variant_outcome::same;
  if (!make_room(m)) {
    close_pending(true);
    facts_.state = case_state::not_built;
    result_.cases.push_back(facts_);
    return false;
  }
  close_pending(differs_above);
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) reveal(result_.verdicts[at], at, m);
  facts_.repeated_keys = marked.nonzero - marked.distinct;
  facts_.second_homed_on_first = count_second_homed_on_first(marked, m, layout_);
  equal_layouts equal{};
  for (std::size_t index = 0; index < strategy_count; ++index) {
    judge_strategy(record, index, marked, swapped, equal);
  }
  const std::int64_t number = record.number;
  judge_case_lines(number, differs_above, equal);
  pending_ = true;
  pending_differs_above_ = layouts_differ(equal, strategy_count - 2, strategy_count - 1);
  pending_number_ = number;
  result_.cases.push_back(facts_);
  return true;
}

void audit_collector::mark_not_built(const std::string& message) {
  if (!result_.cases.empty()) result_.cases.back().message = message;
}

audit_result audit_collector::finish() {
  close_pending(true);
  key_list().swap(layout_);
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) {
    audit_verdict& verdict = result_.verdicts[at];
    verdict.decided = verdict.caught || !undecided_[at];
    verdict.revealable = verdict.revealable || verdict.caught;
    verdict.readings = std::max<std::size_t>(readings_of(verdict.mistake).size(), 1);
    verdict.readings_caught = static_cast<std::size_t>(
        std::count_if(first_lines_[at].begin(), first_lines_[at].begin() + verdict.readings,
                      [](const std::optional<std::int64_t>& line) { return line.has_value(); }));
  }
  return std::move(result_);
}

audit_result audit_cases(std::span<const case_result> cases, bool threads) {
  audit_collector collector(threads);
  for (const case_result& record : cases) {
    if (!collector.add_case(record)) {
      collector.mark_not_built("table size " + std::to_string(record.table_size) +
                               " could not be allocated: out of memory; case not built");
    }
  }
  return collector.finish();
}

case_result make_case(std::int64_t number, std::int32_t table_size, key_list first_keys,
                      key_list second_keys) {
  case_result record;
  record.number = number;
  record.size_line = number * lines_per_case + 2;
  record.table_size = table_size;
  record.first_keys = std::move(first_keys);
  record.second_keys = std::move(second_keys);
  record.expected = build_layouts(table_size, record.first_keys, record.second_keys);
  return record;
}
