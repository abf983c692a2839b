#include "render/class_console.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "checker/key_lines.h"
#include "render/explain_text.h"
#include "render/json_writer.h"

namespace {

constexpr std::string_view green = "\x1b[32m";
constexpr std::string_view red = "\x1b[31m";
constexpr std::string_view yellow = "\x1b[33m";  // graded, but not a file of keys
constexpr std::string_view plain = "\x1b[0m";
constexpr std::size_t score_width = 5;  // "score"
constexpr std::size_t label_width = 9;  // "highest" and two spaces
constexpr std::size_t strategy_width = 18;
constexpr std::int64_t longest_bar = 50;
constexpr std::size_t shown_cells = 10;

void put_padded(text_out& out, std::string_view text, std::size_t width) {
  put_text(out, text);
  if (text.size() < width) put_text(out, std::string(width - text.size(), ' '));
}

void put_right_aligned(text_out& out, std::string_view text, std::size_t width) {
  if (text.size() < width) put_text(out, std::string(width - text.size(), ' '));
  put_text(out, text);
}

std::string fraction(std::int64_t part, std::int64_t whole) {
  return std::to_string(part) + "/" + std::to_string(whole);
}

void put_figure(text_out& out, std::string_view label, const std::string& value) {
  put_padded(out, label, label_width);
  put_text(out, value + "\n");
}

std::string counted(std::int64_t count, std::string_view thing) {
  return std::to_string(count) + " " + std::string(thing) + (count == 1 ? "" : "s");
}

std::string band_label(std::size_t band) {
  const auto low = static_cast<std::int64_t>(band) * 10;
  const std::int64_t high = band + 1 == score_bands ? 100 : low + 9;
  return std::to_string(low) + "-" + std::to_string(high);
}

std::int64_t bar_length(std::int64_t count, std::int64_t most) {
  if (most <= longest_bar || count == 0) return count;
  return (count * longest_bar + most - 1) / most;
}

void put_histogram(text_out& out, const class_totals& totals) {
  const std::int64_t most = *std::max_element(totals.bands.begin(), totals.bands.end());
  const std::size_t count_width = std::to_string(most).size();
  put_text(out, "\nscore    submissions\n");
  for (std::size_t band = 0; band < score_bands; ++band) {
    const std::int64_t count = totals.bands.at(band);
    put_padded(out, band_label(band), label_width);
    put_right_aligned(out, std::to_string(count), count_width);
    if (count > 0) {
      put_text(out, "  ");
      put_text(out, std::string(static_cast<std::size_t>(bar_length(count, most)), '#'));
    }
    put_text(out, "\n");
  }
}

void put_strategy_shares(text_out& out, const class_totals& totals) {
  std::array<std::string, strategy_count> counts;
  std::size_t width = 0;
  for (std::size_t s = 0; s < counts.size(); ++s) {
    counts.at(s) = fraction(totals.strategy_right.at(s), totals.strategy_lines.at(s));
    width = std::max(width, counts.at(s).size());
  }
  put_text(out, "\nstrategy          lines right\n");
  for (std::size_t s = 0; s < counts.size(); ++s) {
    put_padded(out, strategy_title(all_strategies.at(s)), strategy_width);
    put_right_aligned(out, counts.at(s), width);
    const std::int64_t lines = totals.strategy_lines.at(s);
    const std::string share =
        lines == 0 ? "-" : tenths_text(percent_tenths(totals.strategy_right.at(s), lines)) + "%";
    put_text(out, "  ");
    put_right_aligned(out, share, 6);
    put_text(out, "\n");
  }
}

// The mistakes that Wrong lines named, in ranked_mistakes' order, each with the submissions whose
// program's mistake it is.
void put_mistake_tally(text_out& out, const class_totals& totals) {
  const std::vector<std::size_t> named = ranked_mistakes(totals);
  if (named.empty()) return;
  const std::size_t width =
      counted(totals.mistakes[named.front()].submissions, "submission").size();
  put_text(out, "\nmistakes named\n");
  for (const std::size_t m : named) {
    put_text(out, "  ");
    put_right_aligned(out, counted(totals.mistakes[m].submissions, "submission"), width);
    put_text(out, ": " + mistake_title(named_at(m)) + " (" +
                      counted(totals.mistakes[m].lines, "line") + "; the program's mistake in " +
                      counted(totals.mistakes[m].programs, "submission") + ")\n");
  }
}

// The cases and strategies fewest submissions got right, hardest first, up to shown_cells.
void put_hardest_cells(text_out& out, const case_grid& grid) {
  const std::vector<grid_cell> cells = hardest_cells(grid);
  if (cells.empty()) return;
  put_text(out, "\nhardest lines\n");
  for (std::size_t i = 0; i < cells.size() && i < shown_cells; ++i) {
    const grid_cell& c = cells[i];
    put_text(out, "  case " + std::to_string(c.number) + ", " +
                      std::string(strategy_title(all_strategies.at(c.strategy))) + ": " +
                      std::to_string(whole_percent(c.right, c.graded)) + "% right (" +
                      std::to_string(c.right) + " of " + std::to_string(c.graded) + ")\n");
  }
  if (cells.size() > shown_cells) {
    put_text(out,
             "  and " + std::to_string(cells.size() - shown_cells) + " more below 100% right\n");
  }
}

std::string line_problem_text(const line_result& result) {
  if (result.problem == line_problem::missing) return "missing";
  if (result.problem == line_problem::bad_token) {
    return "token " + quote_token(result.token, result.token_cut) + " " +
           std::string(fault_text(result.fault));
  }
  return "Wrong";
}

}  // namespace

std::string shown_path(std::string_view path) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(path.size());
  while (!path.empty()) {
    const auto byte = static_cast<unsigned char>(path.front());
    const std::size_t length = utf8_sequence_length(path);
    // C1 controls (U+0080 to U+009F) act on a terminal as the C0 ones do.
    const bool c1 = byte == 0xc2 && length == 2 && static_cast<unsigned char>(path[1]) < 0xa0;
    if (length == 0 || byte < 0x20 || byte == 0x7f || c1) {
      for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i) {
        const auto shown_byte = static_cast<unsigned char>(path[i]);
        shown += {'\\', 'x', hex[shown_byte >> 4], hex[shown_byte & 0xf]};
      }
      path.remove_prefix(std::max<std::size_t>(length, 1));
    } else {
      shown.append(path.substr(0, length));
      path.remove_prefix(length);
    }
  }
  return shown;
}

std::string tenths_text(std::int64_t tenths) {
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

roster_columns roster_columns_for(std::span<const std::string> paths, std::int64_t all) {
  roster_columns columns;
  columns.path_width = std::string_view("submission").size();
  for (const std::string& path : paths) {
    columns.path_width =
        std::max(columns.path_width, std::min(shown_path(path).size(), widest_path_column));
  }
  columns.count_width = std::max(std::string_view("right/all").size(), fraction(all, all).size());
  return columns;
}

void put_roster_header(text_out& out, const roster_columns& columns) {
  put_padded(out, "submission", columns.path_width);
  put_text(out, "  ");
  put_right_aligned(out, "right/all", columns.count_width);
  put_text(out, "  score  state\n");
}

void put_roster_line(text_out& out, const roster_columns& columns, const submission_row& row,
                     bool color) {
  const bool graded = was_graded(row.state);
  put_padded(out, shown_path(row.path), columns.path_width);
  put_text(out, "  ");
  put_right_aligned(out, graded ? fraction(row.right, row.all) : "-", columns.count_width);
  put_text(out, "  ");
  put_right_aligned(out, graded ? std::to_string(row.score) : "-", score_width);
  put_text(out, "  ");
  if (color) put_text(out, !graded ? red : row.state == submission_state::graded ? green : yellow);
  put_text(out, state_text(row.state));
  if (color) put_text(out, plain);
  put_text(out, "\n");
}

void put_class_summary(text_out& out, const class_totals& totals,
                       std::span<const shortened_name> shortened) {
  const bool any = totals.graded > 0;
  const std::int64_t not_graded = totals.submissions - totals.graded;
  const std::string others = "the " + std::to_string(not_graded) + " not graded";
  put_text(out, "\n>>>>>>>>>>>>>>>>Class summary\n");
  put_figure(out, "graded",
             std::to_string(totals.graded) + " of " + std::to_string(totals.submissions) +
                 " submissions" +
                 (not_graded > 0 ? " (" + std::to_string(not_graded) + " not graded)" : ""));
  std::string mean = any ? tenths_text(totals.mean_tenths) : "-";
  if (any && not_graded > 0) {
    mean += " (" + tenths_text(totals.mean_all_tenths) + " with " + others + " as 0)";
  }
  put_figure(out, "mean", mean);
  put_figure(out, "median", any ? tenths_text(totals.median_tenths) : "-");
  put_figure(out, "lowest", any ? std::to_string(totals.lowest) : "-");
  put_figure(out, "highest", any ? std::to_string(totals.highest) : "-");
  if (totals.skipped_folders > 0 || totals.left_out > 0) {
    put_figure(out, "skipped",
               counted(totals.skipped_folders, "subfolder") + ", " +
                   counted(totals.left_out, "file") +
                   " of this run (each named on standard error)");
  }
  if (!shortened.empty()) put_text(out, "names shortened to fit:\n");
  for (const shortened_name& entry : shortened) {
    put_text(out, "  " + shown_path(entry.path) + " -> " + shown_path(entry.name) + "\n");
  }
  put_histogram(out, totals);
  put_strategy_shares(out, totals);
  put_mistake_tally(out, totals);
  put_hardest_cells(out, totals.cases);
  if (!any) put_text(out, "\nNo submission was graded.\n");
}

void wrong_line_notes::line(const case_result& record, const line_result& result) {
  if (result.judged != verdict::wrong) return;
  text_ += "  case " + std::to_string(record.number) + ", " +
           std::string(strategy_title(result.strategy)) + ", line " +
           std::to_string(result.output_line) + ": " + line_problem_text(result) + "\n";
  if (!result.details) return;
  const std::string explained = result.problem == line_problem::none
                                    ? explain_lines(*result.details)
                                    : explain_unread_line(*result.details);
  std::size_t begin = 0;
  for (std::size_t end = explained.find('\n'); end != std::string::npos;
       end = explained.find('\n', begin)) {
    text_ += "  " + explained.substr(begin, end + 1 - begin);
    begin = end + 1;
  }
}
