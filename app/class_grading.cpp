#include "app/class_grading.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "checker/grading.h"
#include "checker/run_session.h"
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

// One report file of a submission, written by the worker that grades it, as a checking run of
// that file alone would write it. Its temporary file is left for the printing thread, which
// renames it with the rest of the run's files at the end; a report that can't be created or
// completed is dropped alone, and the class goes on.
class submission_report final : public run_output {
 public:
  submission_report(const report_kind& kind, const command_line& cl, std::string target,
                    std::string staged)
      : kind_(kind), cl_(cl), target_(std::move(target)), staged_(std::move(staged)) {}
  [[nodiscard]] output_opening opening() const override { return output_opening::alone; }
  failure open() override {
    file = std::make_unique<atomic_file>();
    if (!file->open_staged(target_, staged_)) {
      return file_failure(kind_.role, target_, file_step::open);
    }
    renderer_ = make_report(kind_, file->out(), cl_);
    return {};
  }
  renderer_slot slot() override { return {renderer_.get(), ""}; }
  void end(run_session& s) override {
    renderer_->end_run(s.summary);
    renderer_.reset();
    // Synced with the rest of its folder's files before they are renamed (sync_report_folders).
    if (!file->finish(false)) lost = file_failure(kind_.role, file->target(), file_step::write);
  }

  std::unique_ptr<atomic_file> file;

 private:
  const report_kind& kind_;
  const command_line& cl_;
  std::string target_;
  std::string staged_;  // its path in the folder's staging folder, if any
  std::unique_ptr<result_renderer> renderer_;
};

// A submission's cases are the class's, read once. One held back when listed (its pick note), or
// that can't have the memory its grading may take, is not graded: it gets its own row, and the
// class goes on without it.
class class_cases final : public case_source {
 public:
  class_cases(const class_setup& setup, std::span<const case_result> cases, std::size_t index)
      : setup_(setup), cases_(cases), index_(index) {}
  failure open(run_session& s) override {
    const class_submission& submission = setup_.submissions[index_];
    if (!submission.pick_note.empty()) {
      state = submission.held;
      return {"Output File " + s.request.output_path + " " + submission.pick_note};
    }
    if (!memory_for_one(setup_.submission_bytes)) {
      return {"Output File " + s.request.output_path + " not graded: out of memory"};
    }
    return {};
  }
  void run(run_session& s, std::span<const renderer_slot> slots) override {
    const run_summary& input =
        index_ < setup_.input_totals.size() ? *setup_.input_totals[index_] : setup_.input;
    state = grade_submission(s.request, cases_, input, slots, s.summary);
  }

  submission_state state = submission_state::out_of_memory;

 private:
  const class_setup& setup_;
  std::span<const case_result> cases_;
  std::size_t index_;
};

// Submission `index` as the session grades it, with the header its reports begin with.
void set_up_session(const class_setup& setup, std::size_t index, run_session& session) {
  run_request& request = session.request;
  request.output_path = setup.paths[index];
  request.diagnose = setup.diagnose;
  request.listed = setup.submissions[index].listed;
  request.follow_links = setup.follow_links;
  request.any_separator = setup.header.any_separator;
  session.fail_on_wrong = setup.fail_on_wrong;
  run_header& header = session.header;
  header = setup.header;
  header.output = setup.paths[index];
  if (index < setup.input_paths.size()) header.input = setup.input_paths[index];
  header.reveal = setup.reveal;
  // Only the pages draw on it: they lie beside index.html and link back to it.
  header.class_page = setup.class_page;
}

}  // namespace

std::string folder_reports::staged_path(std::string_view name) const {
  return staging ? joined(staging->path(), name) : std::string();
}

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
  run_session session;
  set_up_session(setup, index, session);
  strategy_tally tally;
  content_watch content;
  wrong_line_notes notes(slot.notes);
  renderer_output tally_output({&tally, ""});
  renderer_output content_output({&content, ""});
  renderer_output notes_output({&notes, ""});
  session.outputs = {&tally_output, &content_output};
  if (setup.explain) session.outputs.push_back(&notes_output);
  std::vector<std::unique_ptr<submission_report>> reports;
  for (const folder_reports& folder : setup.folders) {
    reports.push_back(std::make_unique<submission_report>(
        *folder.kind, *setup.cl, folder.paths[index], folder.staged_path(folder.names[index])));
    session.outputs.push_back(reports.back().get());
  }
  class_cases source(setup, cases, index);
  session.source = &source;
  drive_session(session);
  const run_summary& summary = session.summary;
  submission_state state = source.state;
  const std::string& pick_note = setup.submissions[index].pick_note;
  // A note that says no more than the state is not said twice.
  if (!pick_note.empty() && pick_note != state_text(state)) slot.notes = "  " + pick_note + "\n";
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
  slot.lost.clear();
  slot.files.clear();
  for (const auto& report : reports) {
    slot.lost.push_back(report->lost);
    slot.files.push_back(std::move(report->file));
  }
  slot.row = row_of(session.request.output_path, state, summary, cases, tally);
  slot.row.any_separator = session.request.any_separator;
}
