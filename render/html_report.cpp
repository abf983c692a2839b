#include "render/html_report.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "checker/diagnosis.h"
#include "checker/gradebook.h"
#include "checker/run_status.h"
#include "render/explain_text.h"
#include "render/html_writer.h"
#include "render/report_text.h"
#include "render/step_html.h"

namespace {

constexpr std::size_t lines_per_case = strategy_count;
// A student's outcome names this many unchecked cases at most; more are only counted.
constexpr std::size_t listed_unchecked = 10;

// The whole style sheet. The page must read the same with scripts off and in print, so every
// mark has a shape (outline, symbol, step number) as well as a colour.
constexpr std::string_view style_sheet = R"(
:root{color-scheme:light}
body{margin:0;background:#f3f3f0;color:#1c1c1c;font:15px/1.45 system-ui,"Segoe UI",Roboto,"DejaVu Sans",sans-serif}
main{display:flex;flex-direction:column;gap:12px;max-width:1180px;margin:0 auto;padding:16px}
.vh{position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0);white-space:nowrap}
header{order:0}.totals{order:1}.cases{order:2;display:flex;flex-direction:column;gap:10px}
header,.totals{background:#fff;border:1px solid #c8c8c8;border-radius:6px;padding:10px 16px}
h1{font-size:1.3em;margin:0 0 6px}h2{font-size:1.1em;margin:0 0 6px}
h3{font-size:1em;margin:14px 0 4px}
dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:2px 16px;margin:0}
dt{font-weight:600;color:#474747}dd{margin:0;overflow-wrap:anywhere}
.status-bad{color:#a3001b;font-weight:600}.status-good{color:#1f6b25;font-weight:600}
details.case{background:#fff;border:1px solid #bdbdbd;border-left:7px solid #8a8a8a;border-radius:6px}
details.right{border-left-color:#2e7d32}details.wrong{border-left-color:#c0182f}
details.refused,details.not-built{border-left-color:#b36b00}
summary{cursor:pointer;padding:7px 12px;font-weight:600}
summary .where{font-weight:400;color:#555}
.case-body{padding:0 14px 12px;border-top:1px solid #e2e2e2}
.badge{display:inline-block;min-width:6.5em;margin-right:8px;padding:0 8px;border:1px solid;border-radius:10px;font-size:.9em;text-align:center}
.right .badge,.verdict.right{color:#1f6b25;background:#e6f4e7}
.wrong .badge,.verdict.wrong{color:#a3001b;background:#fde7ea}
.refused .badge,.not-built .badge{color:#8a4f00;background:#fff1dc}
.unjudged .badge{color:#444;background:#eee}
.verdict{padding:0 6px;border:1px solid;border-radius:4px;font-size:.9em}
.keys{display:flex;gap:8px;align-items:baseline;margin:8px 0 0}.keys b{flex:none;color:#474747}
.keys code{max-height:4.6em;overflow-y:auto;overflow-wrap:anywhere}
.keys code,.message,.problem{font-family:ui-monospace,"DejaVu Sans Mono",monospace;font-size:13px}
.message,.problem{margin:8px 0;padding:6px 10px;border:2px solid #b36b00;border-radius:4px;background:#fff6e8;overflow-wrap:anywhere}
.problem{border-color:#c0182f;background:#fdecee}
.rows{overflow-x:auto;max-width:100%;padding-bottom:4px}
table.layout{border-collapse:separate;border-spacing:3px;font:13px/1.2 ui-monospace,"DejaVu Sans Mono",monospace}
table.layout th[scope=row]{position:sticky;left:0;z-index:1;background:#fff;padding:0 6px 0 0;text-align:right;font:600 12px system-ui,"DejaVu Sans",sans-serif;color:#555}
tr.index th[scope=col],tr.index td{height:1.1em;color:#666;font-size:11px;font-weight:400;text-align:center}
td.slot{position:relative;min-width:2.5em;height:2.3em;padding:0 6px;border:1px solid #a0a0a0;background:#fbfbfb;text-align:center}
td.empty{background:#ececec;color:#8a8a8a}
td.path{background:#e2edff;border-color:#1d56b3}
td.settle{box-shadow:0 0 0 2px #1d56b3}
sup.step{position:absolute;top:1px;left:2px;color:#1d56b3;font:700 10px/1 system-ui,"DejaVu Sans",sans-serif}
td.diff{background:#ffdfe3;border:2px dashed #b0001e;color:#7a0015;font-weight:700}
td.diff::after{content:"\2717";position:absolute;top:1px;right:2px;font:700 10px/1 system-ui,"DejaVu Sans",sans-serif;color:#b0001e}
td.gap{min-width:1.4em;color:#666;text-align:center}
.note{margin:2px 0 0;color:#555;font-size:.9em}
ul.why{margin:6px 0 0;padding-left:20px}ul.why li{margin:2px 0}
.legend{margin:0 0 8px;color:#555;font-size:.9em}
.legend span{display:inline-block;min-width:1.6em;margin:0 4px 0 10px;border:1px solid #a0a0a0;text-align:center}
.legend .l-diff{background:#ffdfe3;border:2px dashed #b0001e;color:#b0001e}
.legend .l-path{background:#e2edff;border-color:#1d56b3;color:#1d56b3;box-shadow:0 0 0 2px #1d56b3}
@media print{body{background:#fff}.rows,.keys code{overflow:visible;max-height:none}*{-webkit-print-color-adjust:exact;print-color-adjust:exact}}
)";

// Slots [begin, end) of a row that are drawn.
struct slot_span {
  std::int64_t begin = 0;
  std::int64_t end = 0;
};

// One step of the misplaced key's path, by the slot it tries; steps count from 1 at home.
struct path_mark {
  std::int64_t slot = 0;
  std::int64_t step = 0;
  bool operator<(const path_mark& other) const {
    return slot != other.slot ? slot < other.slot : step < other.step;
  }
};

// What one strategy's rows are drawn from; no submitted row when `submitted` is null.
struct row_source {
  const key_list* expected = nullptr;
  const key_list* submitted = nullptr;
  std::vector<path_mark> path;  // sorted
  std::optional<std::int64_t> settles;
  std::string caption;  // what the table shows, for a screen reader
};

std::int64_t length_of(const key_list* keys) {
  return keys == nullptr ? 0 : static_cast<std::int64_t>(keys->size());
}

void append_key_words(std::string& html, key k) {
  if (k == 0) {
    html += "empty";
  } else {
    append_html_number(html, k);
  }
}

bool slot_differs(const row_source& source, std::int64_t slot) {
  if (source.submitted == nullptr) return false;
  const auto at = static_cast<std::size_t>(slot);
  const key_list& expected = *source.expected;
  const key_list& submitted = *source.submitted;
  return at >= expected.size() || at >= submitted.size() || expected[at] != submitted[at];
}

// The first slot from `from` on where the rows differ, or `columns` when none does. Past the
// shorter row every slot differs.
std::int64_t next_difference(const row_source& source, std::int64_t from, std::int64_t columns) {
  if (source.submitted == nullptr) return columns;
  const key_list& expected = *source.expected;
  const key_list& submitted = *source.submitted;
  const auto common = static_cast<std::int64_t>(std::min(expected.size(), submitted.size()));
  if (from < common) {
    const auto first = expected.begin() + from;
    const auto end = expected.begin() + common;
    const auto found = std::mismatch(first, end, submitted.begin() + from).first;
    if (found != end) return found - expected.begin();
  }
  return std::min(std::max(from, common), columns);
}

// The slots windows are centred on: the path's, then differing slots in order, skipping those a
// window already covers, so that even a row that differs everywhere stops at the limit quickly.
std::vector<std::int64_t> window_centres(const row_source& source, std::int64_t columns) {
  std::vector<std::int64_t> centres;
  std::transform(source.path.begin(), source.path.end(), std::back_inserter(centres),
                 [](const path_mark& mark) { return mark.slot; });
  std::int64_t slot = next_difference(source, 0, columns);
  while (slot < columns && std::cmp_less(centres.size(), html_window_limit)) {
    centres.push_back(slot);
    slot = next_difference(source, slot + html_window_radius + 1, columns);
  }
  return centres;
}

std::vector<slot_span> merged_windows(std::vector<std::int64_t> centres, std::int64_t columns) {
  std::sort(centres.begin(), centres.end());
  std::vector<slot_span> spans;
  for (const std::int64_t centre : centres) {
    const slot_span window{std::max<std::int64_t>(0, centre - html_window_radius),
                           std::min(columns, centre + html_window_radius + 1)};
    if (!spans.empty() && window.begin <= spans.back().end) {
      spans.back().end = std::max(spans.back().end, window.end);
    } else {
      spans.push_back(window);
    }
  }
  return spans;
}

std::vector<slot_span> shown_spans(const row_source& source, std::int64_t columns) {
  if (columns <= html_whole_row_slots) return {{0, columns}};
  std::vector<std::int64_t> centres = window_centres(source, columns);
  if (centres.empty()) return {{0, html_preview_slots}};
  return merged_windows(std::move(centres), columns);
}

// Draws a row: `cell(slot)` for every shown slot and a gap cell where slots are left out.
template <typename draw_cell>
void append_row(std::string& html, std::string_view row_start, std::string_view label,
                const std::vector<slot_span>& spans, std::int64_t columns, draw_cell cell) {
  html += row_start;
  html += "<th scope=\"row\">";
  html += label;
  html += "</th>";
  std::int64_t drawn_to = 0;
  for (const slot_span& span : spans) {
    if (span.begin > drawn_to) html += "<td class=\"gap\">\xe2\x80\xa6</td>";
    for (std::int64_t slot = span.begin; slot < span.end; ++slot) cell(slot);
    drawn_to = span.end;
  }
  if (drawn_to < columns) html += "<td class=\"gap\">\xe2\x80\xa6</td>";
  html += "</tr>\n";
}

void append_steps(std::string& html, const row_source& source, std::int64_t slot) {
  const auto first = std::lower_bound(source.path.begin(), source.path.end(), path_mark{slot, 0});
  if (first == source.path.end() || first->slot != slot) return;
  html += "<sup class=\"step\">";
  for (auto mark = first; mark != source.path.end() && mark->slot == slot; ++mark) {
    if (mark != first) html += ',';
    append_html_number(html, mark->step);
  }
  html += "</sup>";
}

bool on_path(const row_source& source, std::int64_t slot) {
  return std::binary_search(source.path.begin(), source.path.end(), path_mark{slot, 0},
                            [](const path_mark& a, const path_mark& b) { return a.slot < b.slot; });
}

void append_expected_cell(std::string& html, const row_source& source, std::int64_t slot) {
  if (slot >= length_of(source.expected)) {
    html += "<td></td>";
    return;
  }
  const key k = (*source.expected)[static_cast<std::size_t>(slot)];
  html += "<td class=\"slot";
  if (k == 0) html += " empty";
  if (on_path(source, slot)) html += " path";
  if (source.settles == slot) html += " settle";
  html += "\">";
  append_steps(html, source, slot);
  if (k != 0) append_html_number(html, k);
  html += "</td>";
}

void append_submitted_cell(std::string& html, const row_source& source, std::int64_t slot) {
  const std::int64_t table = length_of(source.expected);
  if (slot >= length_of(source.submitted)) {
    html += "<td class=\"slot diff\" title=\"nothing submitted; expected ";
    append_key_words(html, (*source.expected)[static_cast<std::size_t>(slot)]);
    html += "\">\xe2\x80\x94</td>";  // an em dash: no key at all, not even 0
    return;
  }
  const key k = (*source.submitted)[static_cast<std::size_t>(slot)];
  const bool differs = slot_differs(source, slot);
  html += "<td class=\"slot";
  if (k == 0) html += " empty";
  if (differs) html += " diff";
  html += '"';
  if (differs) {
    html += " title=\"";
    if (slot < table) {
      html += "expected ";
      append_key_words(html, (*source.expected)[static_cast<std::size_t>(slot)]);
    } else {
      html += "beyond the table";
    }
    html += '"';
  }
  html += '>';
  if (k != 0) append_html_number(html, k);
  html += "</td>";
}

// "9,999,919 slots not shown: 0–19, 41–9,999,958 and 10,000,000."; nothing when every slot is
// drawn.
void append_hidden_note(std::string& html, const std::vector<slot_span>& spans,
                        std::int64_t columns) {
  std::vector<slot_span> hidden;
  std::int64_t drawn_to = 0;
  for (const slot_span& span : spans) {
    if (span.begin > drawn_to) hidden.push_back({drawn_to, span.begin});
    drawn_to = span.end;
  }
  if (drawn_to < columns) hidden.push_back({drawn_to, columns});
  if (hidden.empty()) return;
  const std::int64_t hidden_count = std::accumulate(
      hidden.begin(), hidden.end(), std::int64_t{0},
      [](std::int64_t sum, const slot_span& span) { return sum + span.end - span.begin; });
  html += "<p class=\"note\">";
  append_grouped_number(html, hidden_count);
  html += hidden_count == 1 ? " slot not shown: " : " slots not shown: ";
  for (std::size_t i = 0; i < hidden.size(); ++i) {
    if (i > 0) html += i + 1 == hidden.size() ? " and " : ", ";
    append_grouped_number(html, hidden[i].begin);
    if (hidden[i].end - hidden[i].begin == 1) continue;
    html += "\xe2\x80\x93";  // an en dash
    append_grouped_number(html, hidden[i].end - 1);
  }
  html += ".</p>\n";
}

void append_rows(std::string& html, const row_source& source) {
  const std::int64_t columns = std::max(length_of(source.expected), length_of(source.submitted));
  const std::vector<slot_span> spans = shown_spans(source, columns);
  html += "<div class=\"rows\"><table class=\"layout\"><caption class=\"vh\">";
  append_html(html, source.caption);
  html += "</caption>\n";
  append_row(html, "<tr class=\"index\">", "slot", spans, columns, [&](std::int64_t slot) {
    html += "<th scope=\"col\">";
    append_html_number(html, slot);
    html += "</th>";
  });
  append_row(html, "<tr>", "expected", spans, columns,
             [&](std::int64_t slot) { append_expected_cell(html, source, slot); });
  if (source.submitted != nullptr) {
    append_row(html, "<tr>", "submitted", spans, columns,
               [&](std::int64_t slot) { append_submitted_cell(html, source, slot); });
  }
  html += "</table></div>\n";
  append_hidden_note(html, spans, columns);
}

// The kept steps of the path with their numbers; a long path keeps its first and last steps.
std::vector<path_mark> path_marks(const diagnosis& d, std::int64_t table) {
  std::vector<path_mark> marks;
  const auto kept = static_cast<std::int64_t>(d.path.size());
  for (std::int64_t i = 0; i < kept; ++i) {
    const bool in_tail = d.path_length > kept && i >= static_cast<std::int64_t>(path_head);
    const std::int64_t slot = d.path[static_cast<std::size_t>(i)].slot;
    if (slot < 0 || slot >= table) continue;
    marks.push_back({slot, in_tail ? d.path_length - kept + i + 1 : i + 1});
  }
  std::sort(marks.begin(), marks.end());
  return marks;
}

// A sentence as the page shows it, into `text`: a capital first letter, the digits of slots and
// counts grouped, an empty slot as "empty", arrows and ellipses typeset, and a closing full stop.
void put_page_sentence(std::string& text, const sentence& said) {
  text.clear();
  for (const sentence_part& part : said) {
    switch (part.kind) {
      case part_kind::words:
        text += part.text;
        break;
      case part_kind::key:
        append_html_number(text, part.number);
        break;
      case part_kind::held:
        append_key_words(text, static_cast<key>(part.number));
        break;
      case part_kind::slot:
      case part_kind::count:
        append_grouped_number(text, part.number);
        break;
      case part_kind::arrow:
        text += " \xe2\x86\x92 ";  // a right arrow
        break;
      case part_kind::ellipsis:
        text += "\xe2\x80\xa6";
        break;
    }
  }
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
  }
  if (!text.ends_with('.')) text += '.';
}

void append_sentences(std::string& html, const std::vector<sentence>& sentences) {
  html += "<ul class=\"why\">\n";
  std::string text;  // one buffer for every sentence
  for (const sentence& said : sentences) {
    put_page_sentence(text, said);
    html += "<li>";
    append_html(html, text);
    html += "</li>\n";
  }
  html += "</ul>\n";
}

void append_diagnosis(std::string& html, const diagnosis& d) {
  append_sentences(html, diagnosis_sentences(d));
}

// A line not read as keys: the mistake its tokens were named by, if any.
void append_unread_diagnosis(std::string& html, const line_result& result) {
  if (result.judged != verdict::wrong || !result.details) return;
  const std::vector<sentence> named = unread_line_sentences(*result.details);
  if (!named.empty()) append_sentences(html, named);
}

void append_line_heading(std::string& html, strategy_id strategy, const line_result* result) {
  html += "<h3>";
  if (result != nullptr && result->judged != verdict::none) {
    const bool right = result->judged == verdict::right;
    html += right ? "<span class=\"verdict right\">\xe2\x9c\x93 Right</span> "
                  : "<span class=\"verdict wrong\">\xe2\x9c\x97 Wrong</span> ";
  }
  html += strategy_title(strategy);
  if (result != nullptr) {
    html += " <span class=\"note\">output line ";
    append_html_number(html, result->output_line);
    html += "</span>";
  }
  html += "</h3>\n";
}

// The rows of a submitted line and, for a Wrong one, why. A line that could not be read has
// nothing to compare: its problem says it all, and a diagnosis of it as an empty line would only
// repeat that.
void append_judged_rows(std::string& html, row_source source, const line_result& result,
                        std::string_view output_path) {
  if (result.problem != line_problem::none) {
    append_rows(html, source);
    html += "<p class=\"problem\">\xe2\x9c\x97 ";
    append_html(html, line_problem_message(output_path, result));
    html += "</p>\n";
    append_unread_diagnosis(html, result);
    return;
  }
  source.submitted = &result.submitted;
  const diagnosis* d = result.judged == verdict::wrong ? result.details.get() : nullptr;
  if (d != nullptr) {
    source.path = path_marks(*d, length_of(source.expected));
    source.settles = d->settles;
  }
  append_rows(html, source);
  if (result.truncated_keys > 0) {
    // The rows show the kept keys only; say how many more the line held.
    html += "<p class=\"problem\">\xe2\x9c\x97 Only the first ";
    append_grouped_number(html, static_cast<std::int64_t>(result.submitted.size()));
    html += " keys of this line were kept; ";
    append_grouped_number(html, result.truncated_keys);
    html += " more were read and dropped (a line longer than its table is Wrong).</p>\n";
  }
  if (d != nullptr) {
    append_diagnosis(html, *d);
    append_step_through(html, *d);
  }
}

void append_keys(std::string& html, std::string_view name, const key_list& keys);

// A submitted line without the expected row: the keys as submitted, or why they could not be
// read, and what the diagnosis holds.
void append_student_rows(std::string& html, const line_result& result,
                         std::string_view output_path) {
  if (result.submission_withheld) {
    if (result.details) append_diagnosis(html, *result.details);
    return;
  }
  if (result.problem != line_problem::none) {
    html += "<p class=\"problem\">\xe2\x9c\x97 ";
    append_html(html, line_problem_message(output_path, result));
    html += "</p>\n";
    append_unread_diagnosis(html, result);
    return;
  }
  append_keys(html, "Submitted", result.submitted);
  if (result.truncated_keys > 0) {
    html += "<p class=\"problem\">\xe2\x9c\x97 ";
    append_grouped_number(html, result.truncated_keys);
    html += " more keys were read and dropped (a line longer than its table is Wrong).</p>\n";
  }
  if (result.judged == verdict::wrong && result.details) append_diagnosis(html, *result.details);
}

// One strategy: its heading and what the records hold of it: without the answer, the submitted
// keys and what the diagnosis keeps; with it, the rows. `result` null: the expected row only.
void append_line_section(std::string& html, const case_result& record, strategy_id strategy,
                         const line_result* result, std::string_view output_path) {
  append_line_heading(html, strategy, result);
  if (record.answer_withheld) {
    if (result != nullptr) append_student_rows(html, *result, output_path);
    return;
  }
  row_source source;
  source.expected = &layout_of(record.expected, strategy);
  source.caption = "Case " + html_number(record.number) + ", " +
                   std::string(strategy_title(strategy)) + ": the keys by slot";
  if (result == nullptr) {
    append_rows(html, source);
  } else {
    append_judged_rows(html, std::move(source), *result, output_path);
  }
}

void append_keys(std::string& html, std::string_view name, const key_list& keys) {
  html += "<p class=\"keys\"><b>";
  html += name;
  html += " (";
  append_grouped_number(html, static_cast<std::int64_t>(keys.size()));
  html += "):</b> <code>";
  std::string text;
  if (!keys.empty()) append_capped_keys(text, keys);
  append_html(html, text);
  html += "</code></p>\n";
}

std::string_view case_class(case_state state, bool wrong, std::int64_t graded) {
  if (state == case_state::refused) return "refused";
  if (state == case_state::not_built) return "not-built";
  if (wrong) return "wrong";
  return graded > 0 ? "right" : "unjudged";
}

void append_badge(std::string& html, case_state state, bool wrong, std::int64_t right,
                  std::int64_t graded) {
  html += "<span class=\"badge\">";
  if (state != case_state::built) {
    html += state == case_state::refused ? "\xe2\x9a\xa0 refused" : "\xe2\x9a\xa0 not built";
  } else if (graded == 0) {
    html += "built";
  } else {
    html += wrong ? "\xe2\x9c\x97 " : "\xe2\x9c\x93 ";
    append_html_number(html, right);
    html += '/';
    append_html_number(html, graded);
    html += " Right";
  }
  html += "</span>";
}

void append_fact(std::string& html, std::string_view name, std::string_view escaped_value) {
  html += "<dt>";
  html += name;
  html += "</dt><dd>";
  html += escaped_value;
  html += "</dd>\n";
}

std::string escaped(std::string_view text) {
  std::string html;
  append_html(html, text);
  return html;
}

std::string page_start(const run_header& header) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  html.append(content_security_policy);
  html += "\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  html += "hash_checker report: " + escaped(header.input) + "</title>\n<style>";
  html += style_sheet;
  html += step_style_sheet;
  html += "</style>\n</head>\n<body>\n<main>\n<header>\n";
  if (!header.class_page.empty()) {
    html += "<nav class=\"class-link\"><a href=\"";
    append_url_segment(html, header.class_page);
    html += "\">\xe2\x86\x90 Class report</a></nav>\n";
  }
  html += "<h1>hash_checker ";
  html += escaped(header.version) + (header.answer_only ? " \xe2\x80\x94 answer-only mode" : "");
  html += "</h1>\n<dl class=\"facts\">\n";
  append_fact(html, "Input file", escaped(header.input));
  append_fact(html, "Output file",
              header.answer_only ? "not read in answer-only mode" : escaped(header.output));
  append_fact(html, "Answer file",
              header.answer_file.empty() ? "none written" : escaped(header.answer_file));
  html += "</dl>\n";
  // The marks belong to the drawn rows, which a student's view has none of.
  if (!header.student_view) {
    html +=
        "<p class=\"legend\">Marks:<span class=\"l-diff\">\xe2\x9c\x97</span>a "
        "submitted slot that differs<span class=\"l-path\">1</span>a step of the misplaced "
        "key's path, from its home slot; the outlined one is where it settles</p>\n";
  }
  html += "</header>\n<div class=\"cases\">\n";
  return html;
}

// The cases of a run that were not checked: refused, not built, or never in an input file that
// ended early.
std::int64_t unchecked_cases(const run_summary& summary) {
  const std::int64_t missing = summary.ended_early ? summary.case_count - summary.cases : 0;
  return summary.refused + summary.not_built + std::max<std::int64_t>(0, missing);
}

// How the outcome reads to a student: the cases checked, or those that could not be and why.
std::string student_outcome(const run_summary& summary, const std::vector<std::string>& unchecked) {
  if (!summary.error.empty()) return "The check stopped: " + summary.error;
  const std::int64_t count = unchecked_cases(summary);
  if (count == 0) return "All cases checked";
  std::vector<std::string> parts;
  const std::int64_t missing = count - summary.refused - summary.not_built;
  if (std::cmp_equal(unchecked.size(), summary.refused + summary.not_built)) {
    parts = unchecked;
  } else {
    if (summary.refused > 0) parts.push_back(grouped_number(summary.refused) + " refused");
    if (summary.not_built > 0) parts.push_back(grouped_number(summary.not_built) + " not built");
  }
  if (missing > 0) parts.push_back(grouped_number(missing) + " missing from the input file");
  std::string text =
      grouped_number(count) + (count == 1 ? " case" : " cases") + " could not be checked: ";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  }
  return text;
}

std::string totals(const run_summary& summary, bool answer_only, std::int64_t cases_written,
                   const std::vector<std::string>* unchecked) {
  std::string html = "</div>\n<section class=\"totals\">\n<h2>Totals</h2>\n<dl class=\"facts\">\n";
  if (answer_only) {
    append_fact(html, "Right / all", "not graded in answer-only mode");
  } else {
    append_fact(html, "Right / all",
                grouped_number(summary.right) + " / " + grouped_number(summary.all));
    append_fact(html, "Score", html_number(summary.score));
  }
  append_fact(html, "Cases",
              grouped_number(cases_written) + " of " + grouped_number(summary.case_count));
  append_fact(html, "Refused cases", grouped_number(summary.refused));
  append_fact(html, "Not-built cases", grouped_number(summary.not_built));
  if (!summary.ended_message.empty()) {
    append_fact(html, "Input ended", escaped(summary.ended_message));
  }
  if (unchecked != nullptr) {  // a student's view: the exit status is the teacher's word
    const bool checked = summary.error.empty() && unchecked_cases(summary) == 0;
    append_fact(html, "Outcome",
                "<span class=\"" + std::string(checked ? "status-good" : "status-bad") + "\">" +
                    escaped(student_outcome(summary, *unchecked)) + "</span>");
  } else {
    const bool good = summary.status == success_status;
    append_fact(html, "Exit status",
                "<span class=\"" + std::string(good ? "status-good" : "status-bad") + "\">" +
                    html_number(summary.status) + " \xe2\x80\x94 " +
                    escaped(status_words(summary)) + "</span>");
  }
  html += "</dl>\n";
  if (cases_written == 0) html += "<p class=\"note\">No case was run.</p>\n";
  const std::string likely = likely_line(summary.shape);
  if (!likely.empty()) html += "<p class=\"note likely\">" + escaped(likely) + "</p>\n";
  for (const std::string& line : shape_lines(summary.shape)) {
    html += "<p class=\"note shape\">Shape: " + escaped(line) + "</p>\n";
  }
  return html + "</section>\n</main>\n</body>\n</html>\n";
}

}  // namespace

void html_report::begin_run(const run_header& header) {
  if (page_begun_) return;
  page_begun_ = true;
  output_path_ = header.output;
  answer_only_ = header.answer_only;
  student_view_ = header.student_view;
  put_text(out_, page_start(header));
}

void html_report::shape_judged(const submission_shape& shape) {
  shape_told_ = true;
  file_empty_ = shape.empty;
  if (!file_empty_) put_text(out_, held_cases_);
  held_cases_ = std::string();
}

void html_report::begin_case(const case_result& record) {
  if (!page_begun_) begin_run(run_header{});
  if (case_open_) write_case({});  // events out of order: the case's tally never came
  if (file_empty_) return;
  case_open_ = true;
  head_ = {record.number, record.size_line, record.table_size, record.state};
  lines_done_ = 0;
  case_wrong_ = false;
  case_html_.clear();
  if (!record.message.empty()) {
    case_html_ += "<p class=\"message\">\xe2\x9a\xa0 ";
    append_html(case_html_, record.message);
    case_html_ += "</p>\n";
  }
  if (!record.answer_withheld) {
    append_keys(case_html_, "First keys", record.first_keys);
    append_keys(case_html_, "Second keys", record.second_keys);
  }
}

void html_report::line(const case_result& record, const line_result& result) {
  if (!case_open_ || lines_done_ >= lines_per_case) return;
  ++lines_done_;
  if (result.judged == verdict::wrong) case_wrong_ = true;
  if (record.state != case_state::built) return;
  append_line_section(case_html_, record, result.strategy, &result, output_path_);
}

void html_report::end_case(const case_result& record, const case_tally& tally) {
  if (record.state != case_state::built && unchecked_.size() < listed_unchecked) {
    unchecked_.push_back("case " + html_number(record.number) +
                         (record.state == case_state::refused ? " was refused" : " was not built"));
  }
  if (!case_open_) return;
  if (record.state == case_state::built && !record.answer_withheld) {
    for (; lines_done_ < lines_per_case; ++lines_done_) {
      append_line_section(case_html_, record, all_strategies[lines_done_], nullptr, output_path_);
    }
  }
  write_case(tally);
}

void html_report::end_run(const run_summary& summary) {
  if (!page_begun_) begin_run(run_header{});
  if (case_open_) write_case(summary.unfinished);
  if (!held_cases_.empty()) put_text(out_, held_cases_);  // the shape was never judged
  held_cases_ = std::string();
  if (file_empty_) {
    std::string html = "<p class=\"message\">\xe2\x9a\xa0 ";
    append_html(html, output_path_);
    html += ": ";
    append_html(html, content_note(submission_state::empty));
    put_text(out_, html + "</p>\n");
  }
  // Where no case is shown, the summary still counts those that ran.
  const std::int64_t cases = cases_written_ > 0 ? cases_written_ : summary.cases;
  put_text(out_, totals(summary, answer_only_, cases, student_view_ ? &unchecked_ : nullptr));
}

void html_report::write_case(const case_tally& tally) {
  const std::int64_t graded = tally.graded_count;
  const bool open = case_wrong_ || head_.state != case_state::built;
  std::string html = "<details class=\"case ";
  html += case_class(head_.state, case_wrong_, graded);
  html += open ? "\" open id=\"case-" : "\" id=\"case-";
  append_html_number(html, head_.number);
  html += "\"><summary>";
  append_badge(html, head_.state, case_wrong_, tally.right_count, graded);
  html += "Case ";
  append_html_number(html, head_.number);
  html += " <span class=\"where\">\xc2\xb7 table size ";
  append_grouped_number(html, head_.table_size);
  html += " \xc2\xb7 input line ";
  append_html_number(html, head_.size_line);
  html += "</span></summary>\n<div class=\"case-body\">\n";
  // Cases wait until the file is known not to be empty: an empty one draws none.
  if (!answer_only_ && !shape_told_) {
    held_cases_ += html;
    held_cases_ += case_html_;
    held_cases_ += "</div>\n</details>\n";
  } else {
    put_text(out_, html);
    put_text(out_, case_html_);
    put_text(out_, "</div>\n</details>\n");
  }
  case_html_.clear();
  case_open_ = false;
  ++cases_written_;
}
