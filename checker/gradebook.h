// A class graded in one run: one row per submission, and the class totals drawn from the rows.
// Rows hold numbers only, never a submission's lines, so a class costs memory by its size alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checker/results.h"
#include "checker/run.h"
#include "hashing/wrong_variants.h"

/// What a class run keeps of one submission. The numbers mean something only when `state` is
/// one of a graded submission (was_graded).
struct submission_row {
  std::string path;  // as given, or a folder's path joined with a file's name
  submission_state state = submission_state::graded;
  std::int64_t right = 0;
  std::int64_t all = 0;
  std::int64_t score = 0;
  std::vector<std::int8_t> case_right;  // per case read: lines right, 0 to 3; -1 when not graded
  // Per case read: bit s set when the line of all_strategies[s] was judged Right; 0 when the case
  // was not graded (case_right tells which).
  std::vector<std::uint8_t> case_lines_right;
  std::array<std::int64_t, strategy_count> strategy_right{};  // indexed like all_strategies
  std::array<std::int64_t, strategy_count> strategy_lines{};  // lines graded, by strategy
  std::vector<std::int64_t> mistake_lines;  // Wrong lines naming each, by named_index
  // The program's mistake (or pair): the one that gives the most of its Wrong lines (when
  // diagnosed).
  std::optional<named_mistake> program_mistake;
  bool any_separator = false;  // its keys were read between any separators, not single spaces
};

/// Counts graded lines, and those judged Right, by strategy, and the Wrong lines naming each
/// mistake (when the lines were diagnosed), from a grading's line events; and from each case's
/// end_case, its lines right and which strategies they were.
class strategy_tally final : public result_renderer {
 public:
  strategy_tally() : mistakes_(mistake_catalogue.size(), 0) {}
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  [[nodiscard]] const std::array<std::int64_t, strategy_count>& right() const { return right_; }
  [[nodiscard]] const std::array<std::int64_t, strategy_count>& lines() const { return lines_; }
  /// Per case ended: lines right, 0 to 3; -1 for a case that was not built.
  [[nodiscard]] const std::vector<std::int8_t>& case_right() const { return case_right_; }
  /// Per case ended: bit s set when the line of all_strategies[s] was judged Right.
  [[nodiscard]] const std::vector<std::uint8_t>& case_bits() const { return case_bits_; }
  [[nodiscard]] const std::vector<std::int64_t>& mistakes() const { return mistakes_; }

 private:
  std::array<std::int64_t, strategy_count> right_{};
  std::array<std::int64_t, strategy_count> lines_{};
  std::vector<std::int8_t> case_right_;
  std::vector<std::uint8_t> case_bits_;
  std::uint8_t bits_ = 0;  // of the case being graded
  std::vector<std::int64_t> mistakes_;
};

/// Tells from a grading's lines whether the file held keys at all: nothing but white space, no
/// line that reads as keys, or the checker's own banners (a console transcript pasted in).
class content_watch final : public result_renderer {
 public:
  void line(const case_result& record, const line_result& result) override;
  /// `graded` for a file with a line of keys and no banner; otherwise `empty`, `transcript` or
  /// `unreadable`. Also `graded` when no line was judged (no case was built).
  [[nodiscard]] submission_state state() const;

 private:
  bool judged_ = false;  // a line was judged
  bool keys_ = false;    // a line read as keys
  bool text_ = false;    // a line held a token that gives no key
  bool banner_ = false;  // such a token was one of the checker's banners
};

/// One line that stands for a graded submission's Wrong lines when its state says more than
/// they would: "the file is empty", "no line of the file reads as keys", "the file holds the
/// checker's console transcript, not its output"; empty for any other state.
std::string_view content_note(submission_state state);

/// The row of a submission that grade_submission graded against `cases` and that `tally` watched.
/// A submission that was not graded keeps its path, its state and a -1 for every case; one graded
/// keeps `state` (empty, unreadable...) with its numbers.
submission_row row_of(std::string path, submission_state state, const run_summary& summary,
                      std::span<const case_result> cases, const strategy_tally& tally);

/// Score bands of the histogram: 0-9, 10-19, ..., 80-89 and 90-100.
inline constexpr std::size_t score_bands = 10;

/// How many graded submissions named a mistake in at least one Wrong line, and in how many lines.
struct mistake_count {
  std::int64_t submissions = 0;  // whose Wrong lines name it
  std::int64_t lines = 0;
  std::int64_t programs = 0;  // whose program's mistake it is
};

/// Per case and strategy, the graded submissions whose line was Right, out of those graded on
/// the case. Filled row by row as the class run prints them, since rows give up their cases then.
struct case_grid {
  std::vector<std::array<std::int64_t, strategy_count>>
      right;                         // by case number, then like all_strategies
  std::vector<std::int64_t> graded;  // by case number
};

/// Adds a graded row's cases to `grid`, growing it to the row's case count.
void add_to_grid(case_grid& grid, const submission_row& row);

/// A case and strategy of the class: how many graded submissions got its line Right.
struct grid_cell {
  std::size_t number = 0;    // the case
  std::size_t strategy = 0;  // like all_strategies
  std::int64_t right = 0;
  std::int64_t graded = 0;
};

/// Every cell of `grid` that a graded submission got Wrong, the fewest Right first, compared as
/// fractions (1 of 3 before 2 of 5, whatever their rounding); ties in case and strategy order.
std::vector<grid_cell> hardest_cells(const case_grid& grid);

/// `part` / `whole` as a whole percent, rounded half up but never 0 or 100 unless `part` is 0 or
/// `whole`: a cell that one submission got wrong never reads 100%. 0 when `whole` is 0.
std::int64_t whole_percent(std::int64_t part, std::int64_t whole);

/// The class totals. Averages are in tenths, rounded half up, so that they print the same on
/// every machine; every figure but `submissions` and `mean_all_tenths` counts graded rows only,
/// and is 0 without one.
struct class_totals {
  std::int64_t submissions = 0;
  std::int64_t graded = 0;
  std::int64_t mean_tenths = 0;
  std::int64_t mean_all_tenths = 0;  // over every row, one not graded counting as 0
  std::int64_t median_tenths = 0;    // the mean of the two middle scores for an even count
  std::int64_t lowest = 0;
  std::int64_t highest = 0;
  std::array<std::int64_t, score_bands> bands{};
  std::array<std::int64_t, strategy_count> strategy_right{};
  std::array<std::int64_t, strategy_count> strategy_lines{};
  bool any_wrong = false;               // a graded line was judged Wrong
  std::vector<mistake_count> mistakes;  // by named_index, at least every catalogue mistake
  case_grid cases;                      // set by the class run, not from rows
  // Set by the class run, not from rows: what listing the folders passed over.
  std::int64_t skipped_folders = 0;
  std::int64_t left_out = 0;
};

/// Totals over `rows`; scores outside 0..100 are put in the nearest band.
class_totals totals_of(std::span<const submission_row> rows);

/// The mistakes that Wrong lines named, or that are some submission's program's mistake, as
/// named_index values: the most submissions first, ties in catalogue order, then the pairs.
std::vector<std::size_t> ranked_mistakes(const class_totals& totals);

/// `part` / `whole` in tenths of a percent, rounded half up; 0 when `whole` is 0 or below.
std::int64_t percent_tenths(std::int64_t part, std::int64_t whole);
