#include "render/class_json.h"

#include "render/class_console.h"
#include "render/json_writer.h"

namespace {

// A figure of the graded rows: null when there is none.
void put_figure(json_object& object, std::string_view name, const std::string& value, bool known) {
  text_out& out = object.member(name);
  if (known) {
    put_text(out, value);
  } else {
    put_json_null(out);
  }
}

void put_input(json_object& object, const class_report& report) {
  object.string("version", report.header.version);
  object.string("input", report.header.input);
  object.string_or_null("answer_file", report.header.answer_file);
  object.string("gradebook", report.gradebook);
  object.number("case_count", report.input.case_count);
  object.number("cases", report.input.cases);
  object.number("refused", report.input.refused);
  object.number("not_built", report.input.not_built);
  object.boolean("ended_early", report.input.ended_early);
}

void put_strategies(json_object& object, const class_totals& totals) {
  json_array strategies(object, "strategies");
  for (std::size_t s = 0; s < all_strategies.size(); ++s) {
    const std::int64_t lines = totals.strategy_lines.at(s);
    json_object strategy(strategies);
    strategy.string("strategy", strategy_key(all_strategies.at(s)));
    strategy.number("right", totals.strategy_right.at(s));
    strategy.number("lines", lines);
    put_figure(strategy, "right_percent",
               tenths_text(percent_tenths(totals.strategy_right.at(s), lines)), lines > 0);
  }
}

void put_totals(json_object& object, const class_totals& totals) {
  const bool any = totals.graded > 0;
  object.number("submissions", totals.submissions);
  object.number("graded", totals.graded);
  object.number("not_graded", totals.submissions - totals.graded);
  object.number("skipped_folders", totals.skipped_folders);
  object.number("left_out", totals.left_out);
  put_figure(object, "mean", tenths_text(totals.mean_tenths), any);
  put_figure(object, "mean_all", tenths_text(totals.mean_all_tenths), any);
  put_figure(object, "median", tenths_text(totals.median_tenths), any);
  put_figure(object, "lowest", std::to_string(totals.lowest), any);
  put_figure(object, "highest", std::to_string(totals.highest), any);
  json_array bands(object, "score_bands");
  for (std::size_t band = 0; band < score_bands; ++band) bands.number(totals.bands.at(band));
  bands.close();
  put_strategies(object, totals);
}

// Every catalogue mistake, in catalogue order, with the submissions and lines that named it; then
// each pair some submission was named with.
void put_mistakes(json_object& object, const class_totals& totals) {
  json_array mistakes(object, "mistakes");
  for (std::size_t m = 0; m < std::max(mistake_catalogue.size(), totals.mistakes.size()); ++m) {
    const mistake_count count = m < totals.mistakes.size() ? totals.mistakes[m] : mistake_count{};
    if (m >= mistake_catalogue.size() && count.submissions == 0 && count.programs == 0) continue;
    json_object mistake(mistakes);
    mistake.string("mistake", mistake_key(named_at(m)));
    mistake.number("submissions", count.submissions);
    mistake.number("lines", count.lines);
    mistake.number("programs", count.programs);
  }
}

void put_case_grid(json_object& object, const case_grid& grid) {
  json_array cases(object, "case_strategies");
  for (std::size_t c = 0; c < grid.graded.size(); ++c) {
    json_object record(cases);
    record.number("case", static_cast<std::int64_t>(c));
    record.number("graded", grid.graded[c]);
    json_array strategies(record, "strategies");
    for (std::size_t s = 0; s < all_strategies.size(); ++s) {
      const std::int64_t right = grid.right[c].at(s);
      json_object strategy(strategies);
      strategy.string("strategy", strategy_key(all_strategies.at(s)));
      strategy.number("right", right);
      put_figure(strategy, "right_percent", std::to_string(whole_percent(right, grid.graded[c])),
                 grid.graded[c] > 0);
    }
  }
}

void put_row(json_array& rows, const submission_row& row, const std::string& report_name) {
  const bool graded = was_graded(row.state);
  json_object object(rows);
  object.string("submission", row.path);
  object.string("report", report_name);
  object.string("state", state_text(row.state));
  put_figure(object, "right", std::to_string(row.right), graded);
  put_figure(object, "all", std::to_string(row.all), graded);
  put_figure(object, "score", std::to_string(row.score), graded);
  object.string_or_null("program_mistake",
                        row.program_mistake ? mistake_key(*row.program_mistake) : "");
  // Each mistake the row's Wrong lines named, with its count of lines, in catalogue order, then
  // the pairs.
  json_object mistakes(object, "mistakes");
  for (std::size_t m = 0; m < row.mistake_lines.size(); ++m) {
    if (row.mistake_lines[m] > 0) mistakes.number(mistake_key(named_at(m)), row.mistake_lines[m]);
  }
}

}  // namespace

void put_class_json(text_out& out, const class_report& report) {
  {
    json_object document(out);
    put_input(document, report);
    put_totals(document, report.totals);
    put_mistakes(document, report.totals);
    put_case_grid(document, report.totals.cases);
    document.number("status", report.status);
    document.break_line();
    json_array rows(document, "rows", {.before_element = "\n ", .before_end = "\n"});
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
      put_row(rows, report.rows[i], report.report_names[i]);
    }
  }
  put_text(out, "\n");
}
