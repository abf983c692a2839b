#include "app/class_grading.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "checker/grading.h"
#include "checker/run_status.h"
#include "render/class_console.h"
#include "render/explain_text.h"

namespace {

// True when `bytes` can be had right now: asked of malloc, whose failure is an answer, not of
// operator new, whose failure ends the run, and given back at once for the grading to take.
bool memory_for_one(std::size_t bytes) {
  void* room = std::malloc(bytes);  // NOLINT(cppcoreguidelines-no-malloc)
  if (room == nullptr) return false;
  std::free(room);  // NOLINT(cppcoreguidelines-no-malloc)
  return true;
}

// One report file of a submission, written by the worker that grades it.
struct submission_report {
  const report_kind* kind = nullptr;
  std::unique_ptr<atomic_file> file;
  std::unique_ptr<result_renderer> renderer;
};

// Begins the report of submission `index` at `target`, as a checking run of that file alone
// would; what failed when it can't be created.
failure open_report(const class_setup& setup, std::size_t index, const std::string& target,
                    submission_report& report) {
  report.file = std::make_unique<atomic_file>();
  if (!report.file->open(target)) return file_failure(report.kind->role, target, file_step::open);
  report.renderer = make_report(*report.kind, report.file->out(), *setup.cl);
  run_header header = setup.header;
  header.output = setup.paths[index];
  if (index < setup.input_paths.size()) header.input = setup.input_paths[index];
  header.reveal = setup.reveal;
  // Only the pages draw on it: they lie beside index.html and link back to it.
  header.class_page = setup.class_page;
  report.renderer->begin_run(header);
  return {};
}

// Ends a report that open_report began and completes its temporary file, which is renamed with
// the rest of the run's files at the end; what failed when it can't be completed.
failure close_report(const run_summary& summary, submission_report& report) {
  if (!report.renderer) return {};
  report.renderer->end_run(summary);
  report.renderer.reset();
  // Synced with the rest of its folder's files before they are renamed (sync_report_folders).
  if (report.file->finish(false)) return {};
  return file_failure(report.kind->role, report.file->target(), file_step::write);
}

}  // namespace

std::size_t submission_bytes_for(std::span<const case_result> cases, bool diagnose) {
  constexpr std::size_t slack = std::size_t{1} << 20;  // reports' buffers, notes, rows
  std::size_t most = 0;
  for (const case_result& record : cases) {
    if (record.state != case_state::built) continue;
    const std::size_t kept = kept_keys(record.table_size);
    const std::size_t keys = record.first_keys.size() + record.second_keys.size();
    const std::size_t bytes = 2 * sizeof(key) * kept + (diagnose ? 24 * (keys + kept) : 0);
    most = std::max(most, bytes);
  }
  return most + slack;
}

void grade_one(const class_setup& setup, std::span<const case_result> cases, std::size_t index,
               graded_slot& slot) {
  run_request request;
  request.output_path = setup.paths[index];
  request.diagnose = setup.diagnose;
  request.listed = setup.submissions[index].listed;
  request.follow_links = setup.follow_links;
  request.any_separator = setup.header.any_separator;
  strategy_tally tally;
  content_watch content;
  wrong_line_notes notes(slot.notes);
  std::vector<renderer_slot> renderers{{&tally, ""}, {&content, ""}};
  if (setup.explain) renderers.push_back({&notes, ""});
  std::vector<submission_report> reports(setup.folders.size());
  slot.lost.assign(setup.folders.size(), {});
  for (std::size_t f = 0; f < reports.size(); ++f) {
    reports[f].kind = setup.folders[f].kind;
    slot.lost[f] = open_report(setup, index, setup.folders[f].paths[index], reports[f]);
    if (reports[f].renderer) renderers.push_back({reports[f].renderer.get(), ""});
  }
  run_summary summary;
  // A submission that can't have the memory its grading may take gets its own row, and the
  // class goes on without it.
  submission_state state = submission_state::out_of_memory;
  const std::string& pick_note = setup.submissions[index].pick_note;
  if (!pick_note.empty()) {
    state = setup.submissions[index].held;
    summary.error = "Output File " + request.output_path + " " + pick_note;
    // A note that says no more than the state is not said twice.
    if (pick_note != state_text(state)) slot.notes = "  " + pick_note + "\n";
  } else if (memory_for_one(setup.submission_bytes)) {
    const run_summary& input =
        index < setup.input_totals.size() ? *setup.input_totals[index] : setup.input;
    state = grade_submission(request, cases, input, renderers, summary);
  } else {
    summary.error = "Output File " + request.output_path + " not graded: out of memory";
  }
  if (state == submission_state::graded) state = content.state();
  if (setup.explain && state != submission_state::graded && was_graded(state)) {
    slot.notes = "  " + std::string(content_note(state)) + "\n";  // not a Wrong line each
  }
  // The shape comes once, under the row and before any Wrong line: it explains many of them. A
  // file that is empty, unreadable or a transcript has its own note instead.
  if (state == submission_state::graded) {
    std::string shape;
    for (const std::string& line : shape_lines(summary.shape)) shape += "  shape: " + line + "\n";
    slot.notes.insert(0, shape);
  }
  settle_summary(summary, true, setup.fail_on_wrong);
  slot.files.resize(reports.size());
  for (std::size_t f = 0; f < reports.size(); ++f) {
    if (!slot.lost[f].failed()) slot.lost[f] = close_report(summary, reports[f]);
    slot.files[f] = std::move(reports[f].file);
  }
  slot.row = row_of(request.output_path, state, summary, cases, tally);
  slot.row.any_separator = request.any_separator;
}
