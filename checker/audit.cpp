#include "checker/audit.h"

#include <algorithm>
#include <utility>

#include "hashing/program_limits.h"

namespace {

constexpr std::int64_t lines_per_case = 3;

std::int64_t output_line_of(std::int64_t case_number, std::size_t index) {
  return case_number * lines_per_case + static_cast<std::int64_t>(index) + 1;
}

std::size_t index_of(strategy_id strategy) {
  return static_cast<std::size_t>(
      std::find(all_strategies.begin(), all_strategies.end(), strategy) - all_strategies.begin());
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

// A key that went on from slot 0 sits below the slot its linear scan started after: its home for
// the linear strategies, its third probe for double hashing when no probe holds it.
bool scan_wrapped(const key_list& layout, strategy_id strategy, std::int64_t m) {
  for (std::int64_t slot = 0; slot < static_cast<std::int64_t>(layout.size()); ++slot) {
    const key k = layout[static_cast<std::size_t>(slot)];
    if (k == 0) continue;
    const std::int64_t home = primary_hash(k, m);
    if (strategy != strategy_id::double_hashing || slot == home) {
      if (slot < home) return true;
      continue;
    }
    const std::int64_t third = double_hash_slot(k, 2, m);
    if (slot < third && slot != double_hash_slot(k, 1, m)) return true;
  }
  return false;
}

bool any_scan_wrapped(const layouts& built, std::int64_t m) {
  return std::any_of(all_strategies.begin(), all_strategies.end(), [&](strategy_id strategy) {
    return scan_wrapped(layout_of(built, strategy), strategy, m);
  });
}

// First-list keys are all inserted before any second-list key and never move, so the slots they
// hold are those of a linear-probing table of the first list alone.
std::int64_t count_second_homed_on_first(const case_result& record, const key_order& order) {
  const key_list first_only =
      linear_prob(static_cast<std::int32_t>(record.table_size), record.first_keys, {});
  std::int64_t count = 0;
  for (const std::uint32_t rank : order.second_ranks) {
    const auto home =
        static_cast<std::size_t>(primary_hash(order.distinct[rank], record.table_size));
    count += home < first_only.size() && first_only[home] != 0 ? 1 : 0;
  }
  return count;
}

case_facts facts_of(const case_result& record, const key_order* order) {
  case_facts facts;
  facts.number = record.number;
  facts.size_line = record.size_line;
  facts.table_size = record.table_size;
  facts.state = record.state;
  facts.message = record.message;
  if (record.state != case_state::built || order == nullptr) return facts;
  const key_list& linear = record.expected.linear_prob_contents;
  facts.stored_keys = std::count_if(linear.begin(), linear.end(), [](key k) { return k != 0; });
  for (const strategy_id strategy : all_strategies) {
    facts.longest_run =
        std::max(facts.longest_run, longest_filled_run(layout_of(record.expected, strategy)));
  }
  facts.wrapped = any_scan_wrapped(record.expected, record.table_size);
  const auto nonzero = [](const key_list& keys) {
    return std::count_if(keys.begin(), keys.end(), [](key k) { return k != 0; });
  };
  facts.repeated_keys = nonzero(record.first_keys) + nonzero(record.second_keys) -
                        static_cast<std::int64_t>(order->distinct.size());
  facts.second_homed_on_first = count_second_homed_on_first(record, *order);
  return facts;
}

}  // namespace

std::string_view audit_mistake_key(audit_mistake mistake) { return mistake_key(mistake); }

std::vector<wrong_build> readings_of(audit_mistake mistake) {
  std::vector<wrong_build> readings;
  for (std::size_t r = 0; r < catalogue_entry(mistake).reading_count; ++r) {
    readings.push_back({mistake, r});
  }
  return readings;
}

bool audit_applies(audit_mistake mistake, strategy_id strategy) {
  return mistake_applies(mistake, strategy);
}

bool audit_revealable(audit_mistake mistake, strategy_id strategy, std::int64_t table_size) {
  if (!audit_applies(mistake, strategy)) return false;
  const mistake_check check = catalogue_entry(mistake).check;
  if (check == mistake_check::other_strategy) {
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

int audit_status(const audit_result& result) {
  const bool all_caught =
      std::all_of(result.verdicts.begin(), result.verdicts.end(),
                  [](const audit_verdict& v) { return v.caught || !v.revealable; });
  return all_caught ? success_status : incomplete_status;
}

audit_collector::audit_collector() {
  for (const audit_mistake mistake : all_audit_mistakes) {
    for (const strategy_id strategy : all_strategies) {
      if (!audit_applies(mistake, strategy)) continue;
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
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) {
    const audit_verdict& v = result_.verdicts[at];
    if (v.mistake == audit_mistake::line_shifted && v.strategy == all_strategies[index]) {
      catch_reading(at, 0, number, index);
    }
  }
}

// The swapped build's three tables are let go before the other mistakes take theirs.
void audit_collector::judge_swapped(const case_result& record) {
  const layouts swapped = build_layouts(static_cast<std::int32_t>(record.table_size),
                                        record.second_keys, record.first_keys);
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) {
    const audit_verdict& verdict = result_.verdicts[at];
    if (verdict.mistake != audit_mistake::lists_swapped) continue;
    if (swapped.allocation_failed) {
      undecided_[at] = true;
    } else if (layout_of(swapped, verdict.strategy) !=
               layout_of(record.expected, verdict.strategy)) {
      catch_reading(at, 0, record.number, index_of(verdict.strategy));
    }
  }
}

void audit_collector::judge_built(const case_result& record) {
  const std::int64_t m = record.table_size;
  judge_swapped(record);
  const key_order order = order_keys(record.first_keys, record.second_keys);
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) {
    audit_verdict& verdict = result_.verdicts[at];
    reveal(verdict, at, m);
    const std::size_t index = index_of(verdict.strategy);
    const key_list& correct = layout_of(record.expected, verdict.strategy);
    if (verdict.mistake == audit_mistake::wrong_strategy) {
      const bool unlike_others =
          std::all_of(all_strategies.begin(), all_strategies.end(), [&](strategy_id other) {
            return other == verdict.strategy || layout_of(record.expected, other) != correct;
          });
      if (unlike_others) catch_reading(at, 0, record.number, index);
      continue;
    }
    if (verdict.mistake == audit_mistake::line_shifted) continue;
    if (verdict.mistake == audit_mistake::lists_swapped) continue;
    if (m < smallest_variant_table) continue;
    if (verdict.mistake == audit_mistake::no_wrap_around) {
      // Both builds agree until a scan of the correct one goes on from slot 0: that key is then
      // stored there and dropped by the mistake, and nothing brings it back.
      if (scan_wrapped(correct, verdict.strategy, m)) catch_reading(at, 0, record.number, index);
      continue;
    }
    const std::vector<wrong_build> readings = readings_of(verdict.mistake);
    for (std::size_t r = 0; r < readings.size(); ++r) {
      if (first_lines_[at][r]) continue;
      const variant_outcome outcome =
          compare_variant(readings[r], verdict.strategy, static_cast<std::int32_t>(m),
                          record.first_keys, record.second_keys, order, correct);
      if (outcome == variant_outcome::undecided) {
        undecided_[at] = true;  // the build gave up at its probe budget
      } else if (outcome == variant_outcome::differs) {
        catch_reading(at, r, record.number, index);
      }
    }
  }
  result_.cases.push_back(facts_of(record, &order));
}

void audit_collector::add_case(const case_result& record) {
  const bool built = record.state == case_state::built;
  if (pending_) {
    const bool differs_below = !built || record.expected.linear_prob_contents != pending_last_;
    judge_shift(pending_number_, 2, pending_differs_above_, differs_below);
  }
  if (!built) {
    pending_ = false;
    result_.cases.push_back(facts_of(record, nullptr));
    return;
  }
  const key_list& first = record.expected.linear_prob_contents;
  const key_list& middle = record.expected.two_pass_hasing_contents;
  const key_list& last = record.expected.double_hasing_contents;
  judge_shift(record.number, 0, !pending_ || pending_last_ != first, first != middle);
  judge_shift(record.number, 1, middle != first, middle != last);
  judge_built(record);
  pending_ = true;
  pending_differs_above_ = last != middle;
  pending_number_ = record.number;
  pending_last_ = last;
}

audit_result audit_collector::finish() {
  if (pending_) judge_shift(pending_number_, 2, pending_differs_above_, true);
  pending_ = false;
  for (std::size_t at = 0; at < result_.verdicts.size(); ++at) {
    audit_verdict& verdict = result_.verdicts[at];
    verdict.decided = verdict.caught || !undecided_[at];
    verdict.revealable = verdict.revealable || verdict.caught;
  }
  return std::move(result_);
}

audit_result audit_cases(std::span<const case_result> cases) {
  audit_collector collector;
  for (const case_result& record : cases) collector.add_case(record);
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
