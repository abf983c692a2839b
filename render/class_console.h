// The console of a class run: one aligned line per submission, the Wrong lines under it when
// asked for, and the class summary with a histogram of the scores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "checker/gradebook.h"
#include "render/text_out.h"

/// Widths of the roster's columns, fixed before the first submission is graded.
struct roster_columns {
  std::size_t path_width = 0;
  std::size_t count_width = 0;
};

/// Widths for `paths` graded out of `all` lines each: the path column fits the longest path up to
/// `widest_path_column` bytes (a longer path pushes its own line's other columns right).
roster_columns roster_columns_for(std::span<const std::string> paths, std::int64_t all);
inline constexpr std::size_t widest_path_column = 60;

/// The line naming the columns: submission, right/all, score, state.
void put_roster_header(text_out& out, const roster_columns& columns);

/// A submission's line; "-" stands for the numbers of one that was not graded. With `color` the
/// state is green when the submission was graded and red when it was not.
void put_roster_line(text_out& out, const roster_columns& columns, const submission_row& row,
                     bool color);

/// A report or page name that was shortened to fit, and the submission it belongs to.
struct shortened_name {
  std::string path;
  std::string name;
};

/// The class summary: graded count, mean, median, lowest and highest score, the histogram of ten
/// score bands with bars of '#' (one a submission; scaled down so the longest is 50 when a band
/// holds more, a band with any submission keeping one), and each strategy's share of lines Right.
/// When a submission was not graded, the count says how many and the mean is also given with
/// them counted as 0; subfolders skipped and files of the run left out are counted, `shortened`
/// listed. Then each mistake that Wrong lines named, the most submissions first:
/// "12 submissions: no_wrap_around (20 lines)"; and the cells of `totals.cases` below 100% right,
/// hardest first, at most 10 and a line counting the rest: "case 7, double hashing: 40% right
/// (4 of 10)" (whole_percent). A class with nothing graded ends with a line saying so.
void put_class_summary(text_out& out, const class_totals& totals,
                       std::span<const shortened_name> shortened = {});

/// `path` (or any line naming files) as it may reach a terminal: each control byte (below 0x20,
/// 0x7f, and the C1 controls U+0080 to U+009F) and each byte that is no part of well-formed UTF-8
/// as "\xHH", so that no name can move the cursor, retitle the window or forge a line; every other
/// byte as it is.
std::string shown_path(std::string_view path);

/// A number of tenths as "62.4".
std::string tenths_text(std::int64_t tenths);

/// Appends to `text`, for every line judged Wrong, one line naming its case, strategy and output
/// line and what was wrong: "missing", the bad token, or "Wrong" followed by the explain lines of
/// its diagnosis indented two more spaces.
class wrong_line_notes final : public result_renderer {
 public:
  explicit wrong_line_notes(std::string& text) : text_(text) {}
  void line(const case_result& record, const line_result& result) override;

 private:
  std::string& text_;
};
