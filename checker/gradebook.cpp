#include "checker/gradebook.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "checker/diagnosis.h"
#include "hashing/wrong_variants.h"

namespace {

constexpr std::int64_t top_score = 100;
constexpr std::int64_t band_width = 10;

// A rounded-half-up quotient of non-negative numbers.
std::int64_t rounded(std::int64_t numerator, std::int64_t denominator) {
  return (2 * numerator + denominator) / (2 * denominator);
}

std::size_t band_of(std::int64_t score) {
  const std::int64_t band = std::clamp<std::int64_t>(score, 0, top_score) / band_width;
  return static_cast<std::size_t>(std::min<std::int64_t>(band, score_bands - 1));
}

std::int64_t median_tenths(std::vector<std::int64_t>& scores) {
  const std::size_t middle = scores.size() / 2;
  std::nth_element(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(middle),
                   scores.end());
  const std::int64_t upper = scores[middle];
  if (scores.size() % 2 == 1) return upper * 10;
  const std::int64_t lower =
      *std::max_element(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(middle));
  return (lower + upper) * 5;
}

}  // namespace

void strategy_tally::line(const case_result& /*record*/, const line_result& result) {
  if (result.judged == verdict::none) return;
  const std::size_t at = strategy_index(result.strategy);
  ++lines_.at(at);
  if (result.judged == verdict::right) {
    ++right_.at(at);
    bits_ = static_cast<std::uint8_t>(bits_ | 1U << at);
  } else if (result.details && result.details->mistake) {
    const std::size_t named = named_index(*result.details->mistake);
    if (named >= mistakes_.size()) mistakes_.resize(named + 1, 0);
    ++mistakes_[named];
  }
}

void strategy_tally::end_case(const case_result& record, const case_tally& tally) {
  const bool graded = record.state == case_state::built;
  case_right_.push_back(static_cast<std::int8_t>(graded ? tally.right_count : -1));
  case_bits_.push_back(graded ? bits_ : 0);
  bits_ = 0;
}

void content_watch::line(const case_result& /*record*/, const line_result& result) {
  if (result.judged == verdict::none) return;
  judged_ = true;
  if (result.problem == line_problem::none) keys_ = keys_ || !result.submitted.empty();
  if (result.problem != line_problem::bad_token) return;
  text_ = true;
  // Every banner of the console transcript opens with ">>>>>" but the closing tally's.
  const std::string_view token = result.token;
  banner_ = banner_ || token.starts_with(">>>>>") || token.starts_with("[TEST");
}

submission_state content_watch::state() const {
  if (!judged_) return submission_state::graded;
  if (!keys_ && !text_) return submission_state::empty;
  if (banner_) return submission_state::transcript;
  return keys_ ? submission_state::graded : submission_state::unreadable;
}

std::string_view content_note(submission_state state) {
  switch (state) {
    case submission_state::empty:
      return "the file is empty";
    case submission_state::unreadable:
      return "no line of the file reads as keys";
    case submission_state::transcript:
      return "the file holds the checker's console transcript, not its output";
    default:
      return "";
  }
}

submission_row row_of(std::string path, submission_state state, const run_summary& summary,
                      std::span<const case_result> cases, const strategy_tally& tally) {
  submission_row row;
  row.path = std::move(path);
  row.state = state;
  if (!was_graded(state)) {
    row.case_right.assign(cases.size(), -1);
    return row;
  }
  row.right = summary.right;
  row.all = summary.all;
  row.score = summary.score;
  row.case_right = tally.case_right();
  row.case_right.resize(cases.size(), -1);  // a case never ended was not graded
  row.case_lines_right = tally.case_bits();
  row.case_lines_right.resize(cases.size(), 0);
  row.strategy_right = tally.right();
  row.strategy_lines = tally.lines();
  row.mistake_lines = tally.mistakes();
  if (const auto program = program_mistake(summary.shape)) row.program_mistake = program->mistake;
  return row;
}

void add_to_grid(case_grid& grid, const submission_row& row) {
  if (!was_graded(row.state)) return;
  if (grid.graded.size() < row.case_right.size()) {
    grid.graded.resize(row.case_right.size(), 0);
    grid.right.resize(row.case_right.size(), {});
  }
  for (std::size_t c = 0; c < row.case_right.size(); ++c) {
    if (row.case_right[c] < 0) continue;
    ++grid.graded[c];
    for (std::size_t s = 0; s < all_strategies.size(); ++s) {
      const bool right = c < row.case_lines_right.size() && (row.case_lines_right[c] >> s & 1U);
      grid.right[c].at(s) += right ? 1 : 0;
    }
  }
}

std::int64_t whole_percent(std::int64_t part, std::int64_t whole) {
  if (whole <= 0) return 0;
  const std::int64_t percent = rounded(part * 100, whole);
  if (part > 0 && part < whole) return std::clamp<std::int64_t>(percent, 1, 99);
  return percent;
}

std::int64_t percent_tenths(std::int64_t part, std::int64_t whole) {
  return whole <= 0 ? 0 : rounded(part * 1000, whole);
}

class_totals totals_of(std::span<const submission_row> rows) {
  class_totals totals;
  totals.submissions = static_cast<std::int64_t>(rows.size());
  totals.mistakes.assign(mistake_catalogue.size(), {});
  std::vector<std::int64_t> scores;
  std::int64_t sum = 0;
  for (const submission_row& row : rows) {
    if (!was_graded(row.state)) continue;
    scores.push_back(row.score);
    sum += row.score;
    ++totals.bands.at(band_of(row.score));
    totals.any_wrong = totals.any_wrong || row.right < row.all;
    for (std::size_t s = 0; s < all_strategies.size(); ++s) {
      totals.strategy_right.at(s) += row.strategy_right.at(s);
      totals.strategy_lines.at(s) += row.strategy_lines.at(s);
    }
    const std::size_t program = row.program_mistake ? named_index(*row.program_mistake) : 0;
    const std::size_t reach = std::max(row.mistake_lines.size(), program + 1);
    if (totals.mistakes.size() < reach) totals.mistakes.resize(reach);
    for (std::size_t m = 0; m < row.mistake_lines.size(); ++m) {
      totals.mistakes[m].lines += row.mistake_lines[m];
      totals.mistakes[m].submissions += row.mistake_lines[m] > 0 ? 1 : 0;
    }
    if (row.program_mistake) ++totals.mistakes[program].programs;
  }
  totals.graded = static_cast<std::int64_t>(scores.size());
  if (scores.empty()) return totals;
  totals.mean_tenths = rounded(sum * 10, totals.graded);
  totals.mean_all_tenths = rounded(sum * 10, totals.submissions);
  totals.lowest = *std::min_element(scores.begin(), scores.end());
  totals.highest = *std::max_element(scores.begin(), scores.end());
  totals.median_tenths = median_tenths(scores);
  return totals;
}

std::vector<grid_cell> hardest_cells(const case_grid& grid) {
  std::vector<grid_cell> cells;
  for (std::size_t c = 0; c < grid.graded.size(); ++c) {
    for (std::size_t s = 0; s < all_strategies.size(); ++s) {
      const std::int64_t right = grid.right[c].at(s);
      if (right < grid.graded[c]) cells.push_back({c, s, right, grid.graded[c]});
    }
  }
  std::stable_sort(cells.begin(), cells.end(), [](const grid_cell& a, const grid_cell& b) {
    return a.right * b.graded < b.right * a.graded;
  });
  return cells;
}

std::vector<std::size_t> ranked_mistakes(const class_totals& totals) {
  std::vector<std::size_t> named;
  for (std::size_t m = 0; m < totals.mistakes.size(); ++m) {
    if (totals.mistakes[m].submissions > 0 || totals.mistakes[m].programs > 0) named.push_back(m);
  }
  std::stable_sort(named.begin(), named.end(), [&](std::size_t a, std::size_t b) {
    return totals.mistakes[a].submissions > totals.mistakes[b].submissions;
  });
  return named;
}
