#include "render/step_html.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "render/html_writer.h"

const std::string_view step_style_sheet = R"(
.walks{margin:10px 0 0;padding:8px 10px;border:1px solid #c9d3e3;border-radius:6px;background:#f7f9fc}
.walks>p{margin:0 0 6px;font-size:.92em;color:#333}
.walk-pair{display:flex;flex-wrap:wrap;gap:10px 22px}
.walk{flex:1 1 420px;min-width:0}
.walk h4{margin:4px 0;font-size:.95em}
.walk[data-build=correct] h4{color:#1f6b25}.walk:not([data-build=correct]) h4{color:#a3001b}
table.stood{border-collapse:collapse;margin:3px 0;font:13px/1.2 ui-monospace,"DejaVu Sans Mono",monospace}
table.stood th[scope=row]{position:sticky;left:0;z-index:1;background:#f7f9fc;padding:0 6px 0 0;text-align:right;font:600 12px system-ui,"DejaVu Sans",sans-serif;color:#555}
table.stood tr:first-child th:not([scope]){padding:0 0 2px;color:#666;font:400 11px ui-monospace,"DejaVu Sans Mono",monospace;text-align:center}
table.stood td{position:relative;min-width:2.3em;height:2.2em;padding:0 5px;border:1px solid #b5b5b5;background:#fff;text-align:center}
table.stood td.f{background:#c9d8ee;border-color:#7d93b8}
table.stood td.f+td.f{border-left:1px dotted #7d93b8}
table.stood td.gap{border:0;background:none;color:#666}
table.stood td.t{box-shadow:inset 0 0 0 2px #1d56b3}
table.stood td.s{box-shadow:inset 0 0 0 3px #1f6b25;background:#e3f3e4}
table.stood sup{position:absolute;top:1px;left:2px;color:#1d56b3;font:700 10px/1 system-ui,"DejaVu Sans",sans-serif}
ol.steps{display:flex;flex-wrap:wrap;gap:4px;margin:6px 0 0;padding:0;list-style:none;font-size:.88em}
ol.steps li{padding:2px 7px;border:1px solid #b5c3da;border-radius:4px;background:#fff}
ol.steps li b{color:#1d56b3;margin-right:3px}
ol.steps li[data-settles]{border:2px solid #1f6b25;background:#e3f3e4}
ol.steps li.parts{border:2px dashed #b0001e;background:#fde7ea}
ol.steps li.more,ol.steps li.end{border-style:dashed;color:#555}
)";

namespace {

// Appends the numbers of the kept steps that try `slot`, comma-separated; nothing when none
// does. True when some step does.
bool append_step_numbers(std::string& html, const build_walk& walk, std::int64_t slot) {
  bool any = false;
  for (const walk_step& step : walk.steps) {
    if (step.slot != slot) continue;
    html += any ? "," : "<sup>";
    any = true;
    append_html_number(html, step.number);
  }
  if (any) html += "</sup>";
  return any;
}

bool tried(const build_walk& walk, std::int64_t slot) {
  return std::any_of(walk.steps.begin(), walk.steps.end(),
                     [slot](const walk_step& step) { return step.slot == slot; });
}

// A slot of the table as it stood: "f" filled, "t" tried, "s" where the key settles. Short
// names, since a table of 2,000 slots draws every one of them.
void append_stood_cell(std::string& html, const build_walk& walk, std::int64_t slot, key held) {
  const bool filled = held != 0;
  const bool was_tried = tried(walk, slot);
  const bool settles = walk.settles == slot;
  if (!filled && !was_tried && !settles) {
    html += "<td>";
  } else {
    html += "<td class=\"";
    std::string_view separator;
    for (const auto& [on, name] : {std::pair{filled, "f"}, {was_tried, "t"}, {settles, "s"}}) {
      if (!on) continue;
      html += separator;
      html += name;
      separator = " ";
    }
    html += "\">";
  }
  append_step_numbers(html, walk, slot);
  if (filled) append_html_number(html, held);
  html += "</td>";
}

// The table as it stood: slot numbers above, what each slot held below, a gap cell wherever
// slots are left out.
void append_stood(std::string& html, const build_walk& walk, std::int64_t table_size,
                  std::string_view title) {
  std::string index = "<tr class=\"index\"><th scope=\"row\">slot</th>";
  std::string held = "<tr><th scope=\"row\">held</th>";
  std::int64_t drawn_to = 0;
  constexpr std::string_view gap = "<td class=\"gap\">\xe2\x80\xa6</td>";
  for (const table_span& span : walk.stood) {
    if (span.begin > drawn_to) {
      index += "<th></th>";
      held += gap;
    }
    for (std::size_t i = 0; i < span.keys.size(); ++i) {
      const std::int64_t slot = span.begin + static_cast<std::int64_t>(i);
      index += "<th>";
      append_html_number(index, slot);
      index += "</th>";
      append_stood_cell(held, walk, slot, span.keys[i]);
    }
    drawn_to = span.begin + static_cast<std::int64_t>(span.keys.size());
  }
  if (drawn_to < table_size) {
    index += "<th></th>";
    held += gap;
  }
  // A wide table scrolls: the keyboard reaches it (and so can scroll it) by Tab.
  html += "<div class=\"rows\" tabindex=\"0\"><table class=\"stood\"><caption class=\"vh\">";
  append_html(html, title);
  html += ": the table as it stood, by slot</caption>\n";
  html += index;
  html += "</tr>\n";
  html += held;
  html += "</tr>\n</table></div>\n";
}

void append_step(std::string& html, const build_walk& walk, const walk_step& step) {
  const bool settles = walk.settles == step.slot && step.held == 0;
  html += "<li";
  if (walk.parts_at == step.number) html += " class=\"parts\"";
  html += " data-step=\"";
  append_html_number(html, step.number);
  html += "\" data-slot=\"";
  append_html_number(html, step.slot);
  html += "\" data-held=\"";
  if (step.held != 0) append_html_number(html, step.held);
  html += '"';
  if (settles) html += " data-settles";
  html += "><b>";
  append_html_number(html, step.number);
  html += "</b>slot ";
  append_grouped_number(html, step.slot);
  html += ": ";
  if (step.held == 0) {
    html += "empty";
  } else {
    html += "held by ";
    append_html_number(html, step.held);
  }
  if (settles) html += ", settles";
  if (walk.parts_at == step.number) html += " \xe2\x80\x94 parts ways";
  html += "</li>\n";
}

// How a walk ends past its last step, when no step says so.
std::string ending(const build_walk& walk) {
  if (walk.cut_short) return "";
  if (walk.parts_at && *walk.parts_at > walk.length) {
    return "no slot left: dropped \xe2\x80\x94 parts ways";
  }
  return walk.settles ? "" : "no slot left: dropped";
}

void append_walk(std::string& html, const build_walk& walk, std::string_view title,
                 std::int64_t table_size) {
  html += "<section class=\"walk\" data-build=\"";
  append_html(html, walk.build);
  html += "\">\n<h4>";
  append_html(html, title);
  html += "</h4>\n";
  append_stood(html, walk, table_size, title);
  html += "<ol class=\"steps\">\n";
  std::int64_t last = 0;
  for (const walk_step& step : walk.steps) {
    if (step.number > last + 1) {
      html += "<li class=\"more\">\xe2\x80\xa6 " + grouped_number(step.number - last - 1) +
              " tries \xe2\x80\xa6</li>\n";
    }
    append_step(html, walk, step);
    last = step.number;
  }
  const std::string end = ending(walk);
  if (!end.empty()) {
    const bool parts = walk.parts_at && *walk.parts_at > walk.length;
    html += parts ? "<li class=\"end parts\">" : "<li class=\"end\">";
    html += end + "</li>\n";
  }
  html += "</ol>\n</section>\n";
}

}  // namespace

void append_step_through(std::string& html, const diagnosis& d) {
  if (!d.walk.correct || !d.first_misplaced_key) return;
  const std::string root = html_number(*d.first_misplaced_key);
  html += "<div class=\"walks\">\n<p><strong>Step through key " + root +
          ":</strong> each try, the slot and what it held just before " + root +
          " went in; shaded runs of slots are the clusters filled by then.</p>\n"
          "<div class=\"walk-pair\">\n";
  append_walk(html, *d.walk.correct, "Correct build", d.table_size);
  if (d.walk.mistake) {
    append_walk(html, *d.walk.mistake, "The likely mistake: " + d.walk.mistake->build,
                d.table_size);
  }
  html += "</div>\n</div>\n";
}
