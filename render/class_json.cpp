#include "render/class_json.h"

#include "render/class_console.h"
#include "render/json_writer.h"

namespace {

void put_member(text_out& out, std::string_view name, bool first = false) {
  if (!first) put_text(out, ",");
  put_json_name(out, name);
}

void put_number_member(text_out& out, std::string_view name, std::int64_t value) {
  put_member(out, name);
  put_json_number(out, value);
}

// A figure of the graded rows: null when there is none.
void put_figure(text_out& out, std::string_view name, const std::string& value, bool known) {
  put_member(out, name);
  if (known) {
    put_text(out, value);
  } else {
    put_json_null(out);
  }
}

void put_input(text_out& out, const class_report& report) {
  put_member(out, "version", true);
  put_json_string(out, report.header.version);
  put_member(out, "input");
  put_json_string(out, report.header.input);
  put_member(out, "answer_file");
  put_json_string_or_null(out, report.header.answer_file);
  put_member(out, "gradebook");
  put_json_string(out, report.gradebook);
  put_number_member(out, "case_count", report.input.case_count);
  put_number_member(out, "cases", report.input.cases);
  put_number_member(out, "refused", report.input.refused);
  put_number_member(out, "not_built", report.input.not_built);
  put_member(out, "ended_early");
  put_json_bool(out, report.input.ended_early);
}

void put_totals(text_out& out, const class_totals& totals) {
  const bool any = totals.graded > 0;
  put_number_member(out, "submissions", totals.submissions);
  put_number_member(out, "graded", totals.graded);
  put_number_member(out, "not_graded", totals.submissions - totals.graded);
  put_number_member(out, "skipped_folders", totals.skipped_folders);
  put_number_member(out, "left_out", totals.left_out);
  put_figure(out, "mean", tenths_text(totals.mean_tenths), any);
  put_figure(out, "mean_all", tenths_text(totals.mean_all_tenths), any);
  put_figure(out, "median", tenths_text(totals.median_tenths), any);
  put_figure(out, "lowest", std::to_string(totals.lowest), any);
  put_figure(out, "highest", std::to_string(totals.highest), any);
  put_member(out, "score_bands");
  for (std::size_t band = 0; band < score_bands; ++band) {
    put_text(out, band == 0 ? "[" : ",");
    put_json_number(out, totals.bands.at(band));
  }
  put_text(out, "]");
  put_member(out, "strategies");
  for (std::size_t s = 0; s < all_strategies.size(); ++s) {
    const std::int64_t lines = totals.strategy_lines.at(s);
    put_text(out, s == 0 ? "[{" : ",{");
    put_member(out, "strategy", true);
    put_json_string(out, strategy_key(all_strategies.at(s)));
    put_number_member(out, "right", totals.strategy_right.at(s));
    put_number_member(out, "lines", lines);
    put_figure(out, "right_percent",
               tenths_text(percent_tenths(totals.strategy_right.at(s), lines)), lines > 0);
    put_text(out, "}");
  }
  put_text(out, "]");
}

void put_row(text_out& out, const submission_row& row, const std::string& report_name) {
  const bool graded = was_graded(row.state);
  put_member(out, "submission", true);
  put_json_string(out, row.path);
  put_member(out, "report");
  put_json_string(out, report_name);
  put_member(out, "state");
  put_json_string(out, state_text(row.state));
  put_figure(out, "right", std::to_string(row.right), graded);
  put_figure(out, "all", std::to_string(row.all), graded);
  put_figure(out, "score", std::to_string(row.score), graded);
}

}  // namespace

void put_class_json(text_out& out, const class_report& report) {
  put_text(out, "{");
  put_input(out, report);
  put_totals(out, report.totals);
  put_number_member(out, "status", report.status);
  put_text(out, ",\n");
  put_json_name(out, "rows");
  put_text(out, "[");
  for (std::size_t i = 0; i < report.rows.size(); ++i) {
    put_text(out, i == 0 ? "\n {" : ",\n {");
    put_row(out, report.rows[i], report.report_names[i]);
    put_text(out, "}");
  }
  put_text(out, "\n]}\n");
}
