// The audit of an input file: which known mistakes its cases catch, that is, for which mistake
// some case's layout differs from the correct one, and what each case offers to catch them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checker/results.h"
#include "hashing/hash_table.h"
#include "hashing/wrong_variants.h"

/// The wrong builds behind a mistake: one, or each of its readings; none for a mistake found by
/// comparing layouts (wrong_strategy, line_shifted).
std::vector<wrong_build> readings_of(mistake_id mistake);

/// Whether some case of `table_size` slots, with suitable keys and neighbours, can catch the
/// mistake on `strategy`. False only when proven that none can (see variant_revealable).
bool audit_revealable(mistake_id mistake, strategy_id strategy, std::int64_t table_size);

/// What one case offers, for the report. Zero for a case that was not built.
struct case_facts {
  std::int64_t number = 0;
  std::int64_t size_line = 0;
  std::int64_t table_size = 0;
  case_state state = case_state::built;
  std::string message;             // why it was refused or not built
  std::int64_t stored_keys = 0;    // distinct keys placed, the same for every strategy
  std::int64_t longest_run = 0;    // of filled slots, in the layout of any strategy
  bool wrapped = false;            // some key's linear scan went on from slot 0 past the last slot
  std::int64_t repeated_keys = 0;  // nonzero keys met again, in either list
  std::int64_t second_homed_on_first = 0;  // new second keys whose home holds a first key
};

/// The fill ratio of a case: stored keys over slots; 0 for a table of no slot.
double fill_ratio(const case_facts& facts);

/// Where a mistake on a strategy was first caught. `decided` is false when no case caught it and
/// some case could not say (a build that ran out of its probe budget).
struct audit_verdict {
  mistake_id mistake = mistake_id::lists_swapped;
  strategy_id strategy = strategy_id::linear_probing;
  bool caught = false;
  std::optional<std::int64_t> case_number;  // from 0, as the transcript numbers cases
  std::optional<std::int64_t> output_line;  // 1-based line of the output file
  bool revealable = false;                  // at one of the sizes the input holds
  bool decided = true;
  // Its readings (one for a mistake found by comparing layouts) and those caught: a mistake with
  // some readings caught and not all is partly caught.
  std::size_t readings = 1;
  std::size_t readings_caught = 0;
};

/// The audit of a whole input: a verdict for every mistake and strategy it applies to, in the
/// order of all_mistakes, then all_strategies; and the facts of every case.
struct audit_result {
  std::vector<audit_verdict> verdicts;
  std::vector<case_facts> cases;
};

/// Mistakes of the catalogue that some verdict of `result` can reveal at the input's sizes.
std::size_t revealable_mistakes(const audit_result& result);

/// The audit's exit status: 0 when the input's sizes can reveal every mistake of the catalogue and
/// every revealable mistake is caught, 1 otherwise.
int audit_status(const audit_result& result);

struct audit_comparison;

/// Per pair of strategies of a case, whether their layouts are equal (see pair_index in audit.cpp).
using equal_layouts = std::array<bool, strategy_count * strategy_count>;

/// Collects the audit of an input case by case: every case of the input is added in order, with
/// its keys; layouts it holds are not looked at. Whether the last line of a case is caught as
/// line_shifted waits for the next case, whose first line lies below it, or for `finish`.
///
/// Memory stays near one table beside the keys: the correct layout of one strategy at a time is
/// built into one list kept from case to case, and every mistake and every other layout of the
/// case is compared with it as it is built, at about a bit a slot (see compare_variant). From
/// 2^16 slots on, the comparisons of a strategy share helper threads (`threads`), where they can
/// be had; the verdicts are the same whatever the threads and their timing.
class audit_collector {
 public:
  explicit audit_collector(bool threads = true);
  /// False when the case's table could not be had: the case then counts as not built (see
  /// mark_not_built) and catches nothing.
  bool add_case(const case_result& record);
  /// Gives the case last added, not built, the line that says why.
  void mark_not_built(const std::string& message);
  audit_result finish();

 private:
  void judge_strategy(const case_result& record, std::size_t index, const marked_lists& marked,
                      const marked_lists& swapped, equal_layouts& equal_pairs);
  std::vector<audit_comparison> comparisons_for(std::size_t index, std::int64_t table_size,
                                                const marked_lists& marked,
                                                const marked_lists& swapped) const;
  void judge_shift(std::int64_t number, std::size_t index, bool differs_above, bool differs_below);
  void judge_case_lines(std::int64_t number, bool differs_above, const equal_layouts& equal);
  void judge_layout_mistake(mistake_check check, std::int64_t number, std::size_t index);
  void close_pending(bool differs_below);
  bool make_room(std::int64_t table_size);
  void reveal(audit_verdict& verdict, std::size_t at, std::int64_t table_size);
  void catch_reading(std::size_t at, std::size_t reading, std::int64_t number, std::size_t index);

  bool threads_ = true;
  audit_result result_;
  // Per verdict and reading: the output line first caught on and whether it can be revealed.
  std::vector<std::array<std::optional<std::int64_t>, 2>> first_lines_;
  std::vector<std::array<bool, 2>> reading_revealable_;
  std::vector<bool> undecided_;
  // The correct layout being judged; between cases, the last layout of the case before, while its
  // line_shifted verdict waits for the line below.
  key_list layout_;
  case_facts facts_;
  bool pending_ = false;
  bool pending_differs_above_ = false;
  std::int64_t pending_number_ = 0;
};

/// The audit of cases given directly, for the generator and the tests: case i is numbered i.
audit_result audit_cases(std::span<const case_result> cases, bool threads = true);

/// Builds a case record from its size and keys, as the run would read it (state built, layouts
/// filled), for the generator and the tests.
case_result make_case(std::int64_t number, std::int32_t table_size, key_list first_keys,
                      key_list second_keys);
