#include "app/report_factory.h"

#include <algorithm>
#include <iterator>

#include "app/report_names.h"
#include "checker/reveal.h"
#include "render/class_html.h"
#include "render/class_json.h"
#include "render/gradescope_report.h"
#include "render/html_report.h"
#include "render/json_report.h"
#include "render/junit_report.h"
#include "render/platform_reports.h"

namespace {

template <class renderer>
std::unique_ptr<result_renderer> make(text_out& out, const command_line& /*cl*/) {
  return std::make_unique<renderer>(out);
}

std::unique_ptr<result_renderer> make_gradescope(text_out& out, const command_line& cl) {
  return std::make_unique<gradescope_report>(out, cl.gradescope_visibility);
}

// Without --points, a case is worth its graded lines.
template <class renderer>
std::unique_ptr<result_renderer> make_in_points(text_out& out, const command_line& cl) {
  return std::make_unique<renderer>(out, cl.points_given ? cl.points_hundredths : 0);
}

void write_class_json(text_out& out, const class_index& index) {
  put_class_json(out, {*index.header, std::string(index.gradebook), *index.input, *index.totals,
                       index.rows, index.names, index.status});
}

void write_class_html(text_out& out, const class_index& index) {
  put_class_html(
      out,
      {index.header->input, std::string(index.gradebook), *index.totals, index.rows, index.names},
      {std::string(index.roster_heading), index.roster_notes});
}

constexpr class_folder_kind report_folder{&command_line::report_dir,
                                          "Report folder",
                                          ".json",
                                          class_report_name,
                                          "Class report",
                                          "the class report",
                                          true,
                                          false,
                                          write_class_json};
constexpr class_folder_kind page_folder{
    &command_line::html_dir, "Page folder", ".html", class_page_name, "Class page",
    "the class page",        false,         true,    write_class_html};

constexpr report_kind kinds[] = {
    {"--json", "JSON report", "write a JSON report of every case and line to FILE",
     &command_line::json, make<json_report>, true, false, &report_folder},
    {"--gradescope", "Gradescope report", "write a Gradescope results.json to FILE",
     &command_line::gradescope, make_gradescope, true, false, nullptr},
    {"--junit", "JUnit report", "write a JUnit XML report to FILE", &command_line::junit,
     make<junit_report>, true, false, nullptr},
    {"--html", "HTML report", "write a self-contained HTML page of every case to FILE",
     &command_line::html, make<html_report>, true, false, &page_folder},
    {"--github-classroom", "GitHub Classroom report",
     "write GitHub Classroom's test result JSON to FILE", &command_line::github_classroom,
     make_in_points<github_classroom_report>, true, false, nullptr},
    {"--prairielearn", "PrairieLearn report", "write a PrairieLearn results.json to FILE",
     &command_line::prairielearn, make_in_points<prairielearn_report>, true, false, nullptr},
};

}  // namespace

std::span<const report_kind> report_kinds() { return kinds; }

std::unique_ptr<result_renderer> make_report(const report_kind& kind, text_out& out,
                                             const command_line& cl) {
  return std::make_unique<reveal_filter>(kind.make(out, cl));
}

bool reports_need_diagnosis(const command_line& cl) {
  const bool gradebook = !cl.gradebook.empty();
  return std::any_of(std::begin(kinds), std::end(kinds), [&](const report_kind& kind) {
    if (!kind.needs_diagnosis) return false;
    if (!gradebook) return !(cl.*kind.path).empty();
    return kind.class_folder != nullptr && !(cl.*kind.class_folder->folder).empty();
  });
}

std::vector<const report_kind*> class_report_kinds(const command_line& cl) {
  std::vector<const report_kind*> asked;
  for (const report_kind& kind : kinds) {
    if (kind.class_folder != nullptr && !(cl.*kind.class_folder->folder).empty()) {
      asked.push_back(&kind);
    }
  }
  return asked;
}
