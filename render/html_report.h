// The HTML report: one self-contained page (inline CSS, no script, nothing fetched) with the run's
// paths and totals, then one foldable section per case that draws each strategy's expected table
// as a row of numbered slots, the submitted row under it and, for a Wrong line, the slots that
// differ, the misplaced key's probe path and the named mistake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "checker/results.h"
#include "render/text_out.h"

/// Rows of up to this many slots are drawn whole; longer rows show windows only.
inline constexpr std::int64_t html_whole_row_slots = 2000;
/// A window reaches this many slots either side of a differing slot or a path step.
inline constexpr std::int64_t html_window_radius = 20;
/// At most this many windows are centred in one row, so a row never draws more than
/// html_window_limit * (2 * html_window_radius + 1) slots however large the table.
inline constexpr std::int64_t html_window_limit = 50;
/// A long row with nothing to point at shows its first this many slots.
inline constexpr std::int64_t html_preview_slots = 100;

/// Writes to `out`, which the caller opens, keeps alive past end_run and commits. Each case's
/// HTML waits in memory until its end_case (under a megabyte whatever the table size, thanks to
/// the windows), since whether it starts unfolded depends on its last line: a case with a Wrong
/// line, a refused case and an unbuilt case start open, the others folded. The totals come last in
/// the file and are placed under the paths by CSS. Events out of order, a case left open by end_run
/// and an end_run with no begin_run still give a whole page; every path, token and message is
/// escaped by append_html (render/html_writer.h). A case whose answer the reveal filter withheld
/// draws no expected row or case key: a submitted line is listed as its keys (when not withheld
/// too) with what its diagnosis holds. A student's view states the outcome as "All cases checked"
/// or the cases that could not be, never as an exit status. An output file that the shape
/// found empty draws no case: the page says so once, above the totals. So in checking mode the
/// finished cases wait in memory until shape_judged says the file is not empty, which the run
/// says at the first line holding a token: only a file whose first lines are blank makes them
/// wait long.
class html_report final : public result_renderer {
 public:
  explicit html_report(text_out& out) : out_(out) {}

  void begin_run(const run_header& header) override;
  void shape_judged(const submission_shape& shape) override;
  void begin_case(const case_result& record) override;
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  void end_run(const run_summary& summary) override;
  [[nodiscard]] bool ok() const override { return !out_.failed; }

 private:
  // What a case's heading needs, kept in case end_case never comes.
  struct case_head {
    std::int64_t number = 0;
    std::int64_t size_line = 0;
    std::int64_t table_size = 0;
    case_state state = case_state::built;
  };

  // Writes the open case with the tally the run counted: end_case's, or at end_run that of the
  // case a failure ended (run_summary::unfinished).
  void write_case(const case_tally& tally);

  text_out& out_;
  std::string output_path_;
  bool answer_only_ = false;
  bool student_view_ = false;           // the outcome is worded for a student (see run_header)
  std::vector<std::string> unchecked_;  // "case 3 was not built", for a student's outcome
  bool page_begun_ = false;
  bool file_empty_ = false;  // the output file held nothing: one line stands for every case
  bool shape_told_ = false;
  std::string held_cases_;  // cases written before shape_judged
  bool case_open_ = false;
  case_head head_;
  std::string case_html_;  // the open case's sections, escaped
  std::size_t lines_done_ = 0;
  bool case_wrong_ = false;
  std::int64_t cases_written_ = 0;
};
