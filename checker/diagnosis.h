// Why a submitted line is wrong: where it first departs from the ground truth, the first key that
// went astray and the path that key takes in the correct build, which keys are unknown, missing
// or repeated, and which known mistake, if any, gives exactly the submitted line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checker/results.h"
#include "checker/step_trace.h"
#include "hashing/hash_table.h"
#include "hashing/wrong_variants.h"

/// Evidence across a submission: how many of its Wrong lines each mistake, or pair of them, gives
/// exactly, by named_index (missing entries read as none).
struct mistake_evidence {
  std::vector<std::int64_t> lines;
  // Of a pair's lines, those no mistake alone gives. A pair is evidence only with one of them: a
  // pair that gives nothing its mistakes don't give alone is read as those mistakes.
  std::vector<std::int64_t> alone;
  std::int64_t wrong_lines = 0;
  std::int64_t unexplained = 0;  // Wrong lines the mistakes were tried on and none gives
};

/// Every pair of mistakes is tried on a line that no mistake alone gives, and the pairs holding a
/// wrong build that gives it on a line it gives; only for tables of up to largest_pair_table
/// slots, and only while the submission's budget for each of the two lasts: a line's pairs cost
/// each pair's build, counted at pair_build_floor slots or the table size if larger, and are
/// tried only when all of them fit in what is left of pair_slot_budget.
inline constexpr std::int64_t largest_pair_table = 1000;
inline constexpr std::int64_t pair_build_floor = 64;
inline constexpr std::int64_t pair_slot_budget = 4096 * largest_pair_table;

/// What a submission has left to spend on pairs: one per read of it, spent line by line in file
/// order, so that every read of it names the same lines.
struct pair_budget {
  std::int64_t slots_left = pair_slot_budget;       // lines no mistake alone gives
  std::int64_t with_parts_left = pair_slot_budget;  // lines a wrong build gives
};

/// One line to explain. Null list pointers read as empty lists; `line_above` and `line_below` are
/// the expected layouts of the neighbouring output lines, null when unknown or not built.
struct diagnosis_input {
  std::int64_t table_size = 0;
  const key_list* first_keys = nullptr;
  const key_list* second_keys = nullptr;
  const layouts* expected = nullptr;  // the case's three correct layouts
  strategy_id strategy = strategy_id::linear_probing;
  const key_list* submitted = nullptr;
  const key_list* line_above = nullptr;
  const key_list* line_below = nullptr;
  std::vector<lenient_token> notes;  // tokens the parser read leniently, copied into the result
  // order_keys(*first_keys, *second_keys), when the caller has it: a case's three lines can share
  // it (made with the scratch's pairs and spare), which saves a sort of every key per line.
  // Computed when null.
  const key_order* order = nullptr;
  std::int64_t truncated_keys = 0;  // keys submitted after `submitted` and not kept
  // The submission's evidence: of the mistakes that give the line, the one that gives the most
  // of its lines is named. Null: the first in the order they are tried.
  const mistake_evidence* evidence = nullptr;
  // Where `evidence` is null, asked for it only when two or more mistakes give the line, the one
  // case where it decides the name; may return null.
  std::function<const mistake_evidence*()> fetch_evidence = nullptr;
  // Only find the mistakes that give the line (diagnosis::reproducing and the one named): no
  // keys are placed or traced.
  bool names_only = false;
  // The line read as keys to its end (no bad token, not missing): only then can a mistake give
  // it, and only then is one looked for.
  bool keys_read = true;
  // The case's lines, judged together, show a table never emptied between strategies
  // (table_kept_in_case): the line is named table_not_reset, not another strategy's layout.
  bool table_kept = false;
  // The submission's budget for pairs of mistakes; null: no pair is tried.
  pair_budget* pairs = nullptr;
};

/// Whether a case's lines after the first hold what a program gives that never empties its table
/// between strategies (kept_table_layouts), and one of them is Wrong. `submitted` holds each line's
/// keys, null for a line not read as keys to its end. Builds the kept layouts only when the lines
/// could hold them; linear in the table size plus the tries.
bool table_kept_in_case(const key_list& first_keys, const key_list& second_keys,
                        const layouts& expected,
                        const std::array<const key_list*, strategy_count>& submitted);

/// A slot a key tried and the key that held it at that moment, 0 when it was empty.
struct path_step {
  std::int64_t slot = 0;
  key held = 0;
  bool operator==(const path_step&) const = default;
};

/// A lenient token as the parser recorded it and the key it was read as; `read_as` is null when
/// `index` lies outside the submitted line.
struct token_note {
  std::size_t index = 0;
  std::string text;
  std::optional<key> read_as;
};

/// Path steps kept: the first `path_head` and the last `path_tail`; the rest are only counted.
inline constexpr std::size_t path_head = 16;
inline constexpr std::size_t path_tail = 4;

/// Keys listed in each of unknown_keys, missing_keys and repeated_keys; the counts count them all.
inline constexpr std::size_t listed_keys = 20;

struct diagnosis {
  std::int64_t table_size = 0;
  std::int64_t slot_count = 0;  // keys submitted, those not kept included
  // The first slot, below both lengths, where the lines differ; all three null when the lines
  // differ only in length.
  std::optional<std::int64_t> first_wrong_slot;
  std::optional<key> expected_key;
  std::optional<key> submitted_key;
  // Slots below both lengths that differ, plus the difference of the lengths.
  std::int64_t differing_slots = 0;

  // The first key, in the order the correct build inserts keys, whose slot in the submission is
  // not its slot in the correct table; its first slot when submitted more than once.
  std::optional<key> first_misplaced_key;
  std::int64_t insertion_number = 0;           // from 1 in that order; 0 when no key is misplaced
  std::optional<std::int64_t> expected_slot;   // null: the correct build drops the key
  std::optional<std::int64_t> submitted_slot;  // null: the key is not submitted
  // That key's probes in the correct build, up to the slot it settles in.
  std::optional<std::int64_t> home;
  std::optional<std::int64_t> step;  // double hashing only
  std::vector<path_step> path;       // the first path_head steps, then the last path_tail
  std::int64_t path_length = 0;      // every step, kept or not
  std::optional<std::int64_t> settles;

  // Distinct keys, listed in the order of their first slot: nonzero submitted keys that are not
  // the case's keys, keys of the correct table not submitted, and nonzero keys submitted twice
  // or more (unknown keys included).
  key_list unknown_keys;
  std::int64_t unknown_count = 0;
  key_list missing_keys;
  std::int64_t missing_count = 0;
  key_list repeated_keys;
  std::int64_t repeated_count = 0;

  std::vector<token_note> notes;

  // Every known mistake that gives exactly the submitted line, in catalogue order; when none
  // does, every pair of them that does.
  std::vector<named_mistake> reproducing;
  // The one of them with the most evidence (see diagnosis_input::evidence); null when none gives
  // the line: with `searched`, the line is unexplained.
  std::optional<named_mistake> mistake;
  // Its sentence, as mistake_sentence gives it; for an unexplained line, what was tried.
  std::string mistake_text;
  bool searched = false;        // the known mistakes were tried on the line
  bool pairs_searched = false;  // and, none giving it alone, every pair of them
  // The build that mistake stands for; null for a shifted line and without a mistake.
  std::optional<mistake_build> named_build;

  // The first misplaced key's insertion, probe by probe, in the correct build and in the named
  // mistake's.
  step_trace walk;
};

/// What fills a catalogue sentence's blanks: the line's strategy, the strategy whose layout it
/// holds (wrong_strategy) and whether it holds the layout of the line below (line_shifted).
struct mistake_detail {
  strategy_id strategy = strategy_id::linear_probing;
  strategy_id other = strategy_id::linear_probing;
  bool below = false;
  std::int64_t lines = 1;  // how far below or above
};

/// The catalogue sentence of `id` with its blanks filled.
std::string mistake_sentence(mistake_id id, const mistake_detail& detail);

/// As above for a named mistake: two at once are "Two mistakes at once: " and both sentences.
std::string mistake_sentence(const named_mistake& name, const mistake_detail& detail);

/// Room to sort and index keys in. Passing the same one for every line of a case, or of a run,
/// means a large table's memory is taken from the system once rather than for every line, which
/// on some machines costs more than the diagnosis itself. Any contents are valid input.
struct diagnosis_scratch {
  std::vector<std::uint64_t> pairs;
  std::vector<std::uint64_t> spare;
  std::vector<std::uint32_t> expected_slot;
  std::vector<std::uint32_t> submitted_slot;
};

/// Explains the line `input.submitted` as a line of `input.strategy`. A line equal to its layout
/// gets only its lengths and notes. So does one whose correct layout is not `table_size` slots
/// long (a case that was not built). Known mistakes are tried for table sizes from
/// smallest_variant_table to largest_variant_table only. Near-linear in the table size plus the
/// key counts whatever the keys (radix sorts, no per-key maps), taking about 16 bytes a key.
/// Every mistake is tried, those found by comparing with a layout at hand (wrong_strategy,
/// line_shifted) before the wrong builds; of those that give the line, the one with the most
/// evidence is named, the first tried on a tie.
diagnosis diagnose_line(const diagnosis_input& input, diagnosis_scratch& scratch);

/// Counts a diagnosed Wrong line and the mistakes that give it into `evidence`.
void count_evidence(const diagnosis& d, mistake_evidence& evidence);

/// Every mistake with evidence, the most first; ties in the order diagnose_line tries them, which
/// names a line on a tie the same way.
std::vector<likely_mistake> likely_mistakes(const mistake_evidence& evidence);

/// The program's mistake: the one that gives the most of the submission's Wrong lines, when it
/// gives at least as many as no known mistake gives; null when none does, or when the lines no
/// mistake gives outnumber it, where naming it would pass a coincidence off as the program's bug.
std::optional<likely_mistake> program_mistake(const submission_shape& shape);

/// What a Wrong line no known mistake gives is called in reports.
inline constexpr std::string_view unexplained_key = "unexplained";
