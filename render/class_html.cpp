#include "render/class_html.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <span>
#include <string_view>
#include <vector>

#include "render/class_console.h"
#include "render/html_writer.h"

namespace {

// Every figure also stands as text beside its bar, so the page reads in greyscale and in print.
constexpr std::string_view style_sheet = R"(
:root{color-scheme:light}
body{margin:0;background:#f3f3f0;color:#1c1c1c;font:15px/1.45 system-ui,"Segoe UI",Roboto,"DejaVu Sans",sans-serif}
main{display:flex;flex-direction:column;gap:12px;max-width:980px;margin:0 auto;padding:16px}
.vh{position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0);white-space:nowrap}
section,header{background:#fff;border:1px solid #c8c8c8;border-radius:6px;padding:10px 16px}
h1{font-size:1.3em;margin:0 0 6px}h2{font-size:1.1em;margin:0 0 8px}
dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:2px 16px;margin:0}
dt{font-weight:600;color:#474747}dd{margin:0;overflow-wrap:anywhere}
svg.histogram,svg.chart{display:block;max-width:100%;height:auto;font:12px system-ui,"DejaVu Sans",sans-serif}
svg .mistake-bar{fill:#b6463d;stroke:#6e1f19}svg rect.cell{stroke:#fff}svg text.dark{fill:#fff}
svg .bar{fill:#3d6fb6;stroke:#1d3f73}svg .axis{stroke:#555}svg text{fill:#1c1c1c}
table{border-collapse:collapse}
th,td{padding:3px 10px;text-align:left;border-bottom:1px solid #e2e2e2}
.number{text-align:right;font-variant-numeric:tabular-nums}
table.roster{width:100%}table.roster td.path{overflow-wrap:anywhere;font-family:ui-monospace,"DejaVu Sans Mono",monospace;font-size:13px}
tr.failed td.state{color:#a3001b;font-weight:600}
.track{display:inline-block;width:240px;height:14px;border:1px solid #1d3f73;background:#eef1f6;vertical-align:middle}
.fill{display:block;height:100%;background:#3d6fb6}
@media print{body{background:#fff}*{-webkit-print-color-adjust:exact;print-color-adjust:exact}}
)";

// The histogram's geometry, in SVG user units.
constexpr std::int64_t band_width = 56;
constexpr std::int64_t bar_width = 38;
constexpr std::int64_t chart_left = 8;
constexpr std::int64_t chart_top = 22;  // room for the tallest bar's count
constexpr std::int64_t bar_height_max = 140;
constexpr std::int64_t baseline = chart_top + bar_height_max;
constexpr std::int64_t chart_width = 2 * chart_left + 10 * band_width;
constexpr std::int64_t chart_height = baseline + 40;

void append_text(std::string& html, std::string_view tag, std::string_view text) {
  html.append("<").append(tag).append(">");
  append_html(html, text);
  html.append("</").append(tag).append(">");
}

void append_fact(std::string& html, std::string_view name, std::string_view value) {
  append_text(html, "dt", name);
  append_text(html, "dd", value);
}

std::string band_label(std::size_t band) {
  const std::int64_t low = static_cast<std::int64_t>(band) * 10;
  const std::int64_t high = band + 1 == score_bands ? 100 : low + 9;
  return std::to_string(low) + "-" + std::to_string(high);
}

void append_header(std::string& html, const class_page& page) {
  html.append("<header><h1>Class report</h1><dl class=\"facts\">");
  append_fact(html, "Input", page.input);
  append_fact(html, "Gradebook", page.gradebook);
  html.append("</dl></header>\n");
}

void append_totals(std::string& html, const class_totals& totals) {
  const bool any = totals.graded > 0;
  const auto figure = [any](const std::string& text) { return any ? text : std::string("-"); };
  html.append("<section class=\"totals\"><h2>Class summary</h2><dl class=\"facts\">");
  append_fact(
      html, "graded",
      std::to_string(totals.graded) + " of " + std::to_string(totals.submissions) + " submissions");
  const std::int64_t not_graded = totals.submissions - totals.graded;
  if (not_graded > 0) append_fact(html, "not graded", std::to_string(not_graded));
  append_fact(html, "mean", figure(tenths_text(totals.mean_tenths)));
  if (not_graded > 0 && any) {
    append_fact(html, "mean, those not graded as 0", tenths_text(totals.mean_all_tenths));
  }
  if (totals.skipped_folders > 0 || totals.left_out > 0) {
    append_fact(html, "skipped",
                std::to_string(totals.skipped_folders) + " subfolders, " +
                    std::to_string(totals.left_out) + " files of this run");
  }
  append_fact(html, "median", figure(tenths_text(totals.median_tenths)));
  append_fact(html, "lowest", figure(std::to_string(totals.lowest)));
  append_fact(html, "highest", figure(std::to_string(totals.highest)));
  html.append("</dl></section>\n");
}

// An SVG <text> centred on `x`.
void append_svg_label(std::string& html, std::int64_t x, std::int64_t y, const std::string& text) {
  html.append("<text x=\"");
  append_html_number(html, x);
  html.append("\" y=\"");
  append_html_number(html, y);
  html.append("\" text-anchor=\"middle\">");
  append_html(html, text);
  html.append("</text>");
}

// A band's bar, its count above it and its label under the axis. A band with any submission
// keeps at least 2 units of bar, so it never looks empty.
void append_band(std::string& html, std::size_t band, std::int64_t count, std::int64_t most) {
  std::int64_t height = most > 0 ? count * bar_height_max / most : 0;
  if (count > 0) height = std::max<std::int64_t>(height, 2);
  const std::int64_t left = chart_left + static_cast<std::int64_t>(band) * band_width;
  const std::int64_t centre = left + band_width / 2;
  html.append("<rect class=\"bar\" x=\"");
  append_html_number(html, centre - bar_width / 2);
  html.append("\" y=\"");
  append_html_number(html, baseline - height);
  html.append("\" width=\"");
  append_html_number(html, bar_width);
  html.append("\" height=\"");
  append_html_number(html, height);
  html.append("\"/>");
  append_svg_label(html, centre, baseline - height - 6, std::to_string(count));
  append_svg_label(html, centre, baseline + 16, band_label(band));
  html.append("\n");
}

void append_histogram(std::string& html, const class_totals& totals) {
  const std::int64_t most = *std::max_element(totals.bands.begin(), totals.bands.end());
  html.append("<section class=\"scores\"><h2>Scores</h2><svg class=\"histogram\" viewBox=\"0 0 ");
  append_html_number(html, chart_width);
  html.append(" ");
  append_html_number(html, chart_height);
  html.append("\" width=\"");
  append_html_number(html, chart_width);
  html.append("\" height=\"");
  append_html_number(html, chart_height);
  html.append("\" role=\"img\" aria-label=\"graded submissions by score band\">\n");
  for (std::size_t band = 0; band < score_bands; ++band) {
    append_band(html, band, totals.bands.at(band), most);
  }
  html.append("<line class=\"axis\" x1=\"");
  append_html_number(html, chart_left);
  html.append("\" y1=\"");
  append_html_number(html, baseline);
  html.append("\" x2=\"");
  append_html_number(html, chart_width - chart_left);
  html.append("\" y2=\"");
  append_html_number(html, baseline);
  html.append("\"/>");
  append_svg_label(html, chart_width / 2, baseline + 34, "score band: submissions in it");
  html.append("</svg></section>\n");
}

void append_strategy(std::string& html, std::string_view title, std::int64_t right,
                     std::int64_t lines) {
  const std::string percent = tenths_text(percent_tenths(right, lines));
  html.append("<tr>");
  append_text(html, "th", title);
  html.append("<td><span class=\"track\"><span class=\"fill\" style=\"width:");
  append_html(html, lines > 0 ? percent : "0");
  html.append("%\"></span></span></td><td class=\"number\">");
  append_html(html, std::to_string(right) + "/" + std::to_string(lines));
  html.append("</td><td class=\"number\">");
  append_html(html, lines > 0 ? percent + "%" : "-");
  html.append("</td></tr>\n");
}

void append_strategies(std::string& html, const class_totals& totals) {
  html.append(
      "<section class=\"strategies\"><h2>Lines right by strategy</h2><table><caption "
      "class=\"vh\">Lines judged Right, by strategy</caption><thead><tr><th>strategy</th>"
      "<th>share right</th><th class=\"number\">right/all</th><th class=\"number\">percent</th>"
      "</tr></thead><tbody>\n");
  for (std::size_t s = 0; s < all_strategies.size(); ++s) {
    append_strategy(html, strategy_title(all_strategies.at(s)), totals.strategy_right.at(s),
                    totals.strategy_lines.at(s));
  }
  html.append("</tbody></table></section>\n");
}

// An SVG <text> at `x`, anchored as `anchor` says, with an optional class.
void append_svg_text(std::string& html, std::int64_t x, std::int64_t y, std::string_view anchor,
                     std::string_view text, std::string_view css_class = "") {
  html.append("<text x=\"");
  append_html_number(html, x);
  html.append("\" y=\"");
  append_html_number(html, y);
  html.append("\" text-anchor=\"").append(anchor).append("\"");
  if (!css_class.empty()) html.append(" class=\"").append(css_class).append("\"");
  html.append(">");
  append_html(html, text);
  html.append("</text>");
}

void append_svg_start(std::string& html, std::int64_t width, std::int64_t height,
                      std::string_view label) {
  html.append("<svg class=\"chart\" viewBox=\"0 0 ");
  append_html_number(html, width);
  html.append(" ");
  append_html_number(html, height);
  html.append("\" width=\"");
  append_html_number(html, width);
  html.append("\" height=\"");
  append_html_number(html, height);
  html.append("\" role=\"img\" aria-label=\"").append(label).append("\">\n");
}

void append_rect(std::string& html, std::int64_t x, std::int64_t y, std::int64_t width,
                 std::int64_t height) {
  html.append(" x=\"");
  append_html_number(html, x);
  html.append("\" y=\"");
  append_html_number(html, y);
  html.append("\" width=\"");
  append_html_number(html, width);
  html.append("\" height=\"");
  append_html_number(html, height);
  html.append("\"/>");
}

// The mistakes chart's geometry: a row per catalogue mistake, its id left of a bar as long as the
// submissions that made it, scaled to the most.
constexpr std::int64_t mistake_label_width = 190;
constexpr std::int64_t mistake_bar_max = 360;
constexpr std::int64_t mistake_row = 22;

// The rows of the mistakes chart and table, as named_index values: every catalogue mistake, then
// each pair some submission was named with.
std::vector<std::size_t> mistake_rows(const class_totals& totals) {
  std::vector<std::size_t> rows(mistake_catalogue.size());
  std::iota(rows.begin(), rows.end(), std::size_t{0});
  for (std::size_t m = mistake_catalogue.size(); m < totals.mistakes.size(); ++m) {
    if (totals.mistakes[m].submissions > 0 || totals.mistakes[m].programs > 0) rows.push_back(m);
  }
  return rows;
}

// A bar per catalogue mistake and pair named (submissions that made it, count written beside
// it), then the table with the lines too.
void append_mistakes(std::string& html, const class_totals& totals) {
  html.append("<section class=\"mistakes\"><h2>Mistakes named in Wrong lines</h2>\n");
  std::int64_t most = 1;
  for (const mistake_count& count : totals.mistakes) most = std::max(most, count.submissions);
  const std::vector<std::size_t> shown = mistake_rows(totals);
  append_svg_start(html, mistake_label_width + mistake_bar_max + 60,
                   static_cast<std::int64_t>(shown.size()) * mistake_row + 8,
                   "submissions that made each mistake");
  for (std::size_t row = 0; row < shown.size(); ++row) {
    const std::size_t m = shown[row];
    const mistake_count count = m < totals.mistakes.size() ? totals.mistakes[m] : mistake_count{};
    const std::int64_t top = static_cast<std::int64_t>(row) * mistake_row + 4;
    std::int64_t length = count.submissions * mistake_bar_max / most;
    if (count.submissions > 0) length = std::max<std::int64_t>(length, 2);
    append_svg_text(html, mistake_label_width - 8, top + 15, "end", mistake_title(named_at(m)));
    html.append("<rect class=\"mistake-bar\" data-mistake=\"");
    html.append(mistake_key(named_at(m))).append("\"");
    append_rect(html, mistake_label_width, top + 3, length, mistake_row - 6);
    append_svg_text(html, mistake_label_width + length + 6, top + 15, "start",
                    std::to_string(count.submissions));
    html.append("\n");
  }
  html.append(
      "</svg><table><caption class=\"vh\">Submissions and Wrong lines naming each known "
      "mistake</caption><thead><tr><th>mistake</th><th class=\"number\">submissions</th>"
      "<th class=\"number\">lines</th><th class=\"number\">the program's mistake in</th>"
      "</tr></thead><tbody>\n");
  for (const std::size_t m : shown) {
    const mistake_count count = m < totals.mistakes.size() ? totals.mistakes[m] : mistake_count{};
    html.append("<tr>");
    append_text(html, "th", mistake_title(named_at(m)));
    html.append("<td class=\"number\">");
    append_html_number(html, count.submissions);
    html.append("</td><td class=\"number\">");
    append_html_number(html, count.lines);
    html.append("</td><td class=\"number\">");
    append_html_number(html, count.programs);
    html.append("</td></tr>\n");
  }
  html.append("</tbody></table></section>\n");
}

// The grid's geometry: a row per case, a column per strategy.
constexpr std::int64_t grid_label_width = 70;
constexpr std::int64_t grid_cell_width = 150;
constexpr std::int64_t grid_cell_height = 26;
constexpr std::int64_t grid_top = 24;

// From near white (none right) to deep blue (all right), so the hardest cells stand out pale; the
// percentage is written in each, so the grid also reads without colour.
std::string cell_fill(std::int64_t percent) {
  const auto mix = [percent](std::int64_t pale, std::int64_t deep) {
    return std::to_string(pale + (deep - pale) * percent / 100);
  };
  return "rgb(" + mix(246, 29) + "," + mix(248, 63) + "," + mix(252, 115) + ")";
}

void append_cell(std::string& html, std::size_t c, std::size_t s, const case_grid& grid) {
  const std::int64_t graded = grid.graded[c];
  const std::int64_t percent = whole_percent(grid.right[c].at(s), graded);
  const std::int64_t x = grid_label_width + static_cast<std::int64_t>(s) * grid_cell_width;
  const std::int64_t y = grid_top + static_cast<std::int64_t>(c) * grid_cell_height;
  html.append("<g class=\"cell\" data-case=\"");
  append_html_number(html, static_cast<std::int64_t>(c));
  html.append("\" data-strategy=\"").append(strategy_key(all_strategies.at(s))).append("\">");
  html.append("<rect class=\"cell\" fill=\"");
  html.append(graded > 0 ? cell_fill(percent) : "#e2e2e2").append("\"");
  append_rect(html, x, y, grid_cell_width, grid_cell_height);
  append_svg_text(html, x + grid_cell_width / 2, y + 17, "middle",
                  graded > 0 ? std::to_string(percent) + "%" : "-",
                  graded > 0 && percent >= 55 ? "dark" : "");
  html.append("</g>");
}

// Per case and strategy, the share of graded submissions whose line was Right, as a shaded grid.
void append_case_grid(std::string& html, const case_grid& grid) {
  html.append("<section class=\"cases\"><h2>Submissions right by case and strategy</h2>\n");
  const auto rows = static_cast<std::int64_t>(grid.graded.size());
  append_svg_start(
      html, grid_label_width + static_cast<std::int64_t>(strategy_count) * grid_cell_width + 8,
      grid_top + rows * grid_cell_height + 8, "share of submissions right by case and strategy");
  for (std::size_t s = 0; s < all_strategies.size(); ++s) {
    append_svg_text(
        html,
        grid_label_width + static_cast<std::int64_t>(s) * grid_cell_width + grid_cell_width / 2, 16,
        "middle", strategy_title(all_strategies.at(s)));
  }
  for (std::size_t c = 0; c < grid.graded.size(); ++c) {
    append_svg_text(html, grid_label_width - 8,
                    grid_top + static_cast<std::int64_t>(c) * grid_cell_height + 17, "end",
                    "case " + std::to_string(c));
    for (std::size_t s = 0; s < all_strategies.size(); ++s) append_cell(html, c, s, grid);
    html.append("\n");
  }
  html.append("</svg></section>\n");
}

// A roster row: a graded submission's path links to its page; one not graded has no page worth
// opening (it says only that the file could not be read), so its path stands alone.
void append_row(std::string& html, const submission_row& row, const std::string& page_name) {
  const bool graded = was_graded(row.state);
  const bool linked = graded && !page_name.empty();
  html.append(graded ? "<tr class=\"graded\"><td class=\"path\">"
                     : "<tr class=\"failed\"><td class=\"path\">");
  if (linked) {
    html.append("<a href=\"");
    append_url_segment(html, page_name);
    html.append("\">");
  }
  append_html(html, row.path);
  if (linked) html.append("</a>");
  html.append("</td><td class=\"number\">");
  append_html(html, graded ? std::to_string(row.right) + "/" + std::to_string(row.all) : "-");
  html.append("</td><td class=\"number\">");
  append_html(html, graded ? std::to_string(row.score) : "-");
  html.append("</td><td class=\"state\">");
  append_html(html, state_text(row.state));
  html.append("</td></tr>\n");
}

}  // namespace

void put_class_html(text_out& out, const class_page& page, const class_page_roster& roster) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">";
  html.append(content_security_policy);
  html.append(
      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"><title>Class: ");
  append_html(html, page.input);
  html.append("</title><style>").append(style_sheet).append("</style></head>\n<body><main>\n");
  append_header(html, page);
  append_totals(html, page.totals);
  append_histogram(html, page.totals);
  append_strategies(html, page.totals);
  append_mistakes(html, page.totals);
  append_case_grid(html, page.totals.cases);
  html.append(
      "<section class=\"submissions\"><h2>Submissions</h2><table class=\"roster\"><caption "
      "class=\"vh\">Each submission's lines right, score and state</caption><thead><tr>"
      "<th>submission</th><th class=\"number\">right/all</th><th class=\"number\">score</th>"
      "<th>state</th></tr></thead><tbody>\n");
  put_text(out, html);
  for (std::size_t i = 0; i < page.rows.size(); ++i) {
    std::string row;
    append_row(row, page.rows[i], i < page.page_names.size() ? page.page_names[i] : "");
    put_text(out, row);
  }
  put_text(out, "</tbody></table></section>\n");
  if (!roster.heading.empty()) {
    std::string section = "<section class=\"lms\"><h2>Roster</h2><p>";
    append_html(section, roster.heading);
    section.append("</p><ul>\n");
    for (const std::string& note : roster.notes) {
      section.append("<li>");
      append_html(section, note);
      section.append("</li>\n");
    }
    put_text(out, section.append("</ul></section>\n"));
  }
  put_text(out, "</main></body></html>\n");
}
