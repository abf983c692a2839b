#include "checker/run_session.h"

#include <cstddef>

#include "checker/run_status.h"

void run_output::end(run_session& session) { slot().renderer->end_run(session.summary); }

namespace {

// The outputs that open before the run; false for each that is not open. After one of the
// `before_run` outputs fails, the rest are not tried and none of them counts as open.
std::vector<bool> open_before_run(run_session& s) {
  std::vector<bool> open(s.outputs.size(), false);
  for (std::size_t i = 0; i < s.outputs.size(); ++i) {
    run_output& output = *s.outputs[i];
    switch (output.opening()) {
      case output_opening::none:
        open[i] = true;
        break;
      case output_opening::alone:
        output.lost = output.open();
        open[i] = !output.lost.failed();
        break;
      case output_opening::before_run:
        if (!s.outputs_open) break;
        s.summary.error = output.open().line;
        s.outputs_open = s.summary.error.empty();
        open[i] = s.outputs_open;
        break;
      case output_opening::inputs_open:
        break;
    }
  }
  for (std::size_t i = 0; i < s.outputs.size() && !s.outputs_open; ++i) {
    if (s.outputs[i]->opening() == output_opening::before_run) open[i] = false;
  }
  return open;
}

// Opens the inputs, then the outputs that wait for them, and runs the cases: the input file's,
// read case by case, unless the session has a source of its own.
void run_the_cases(run_session& s, std::vector<bool>& open) {
  s.summary.error = s.source != nullptr ? s.source->open(s).line : start_run(s.request, s.files);
  for (std::size_t i = 0; i < s.outputs.size() && s.summary.error.empty(); ++i) {
    if (s.outputs[i]->opening() != output_opening::inputs_open) continue;
    s.summary.error = s.outputs[i]->open().line;
    open[i] = s.summary.error.empty();
  }
  if (!s.summary.error.empty()) return;
  std::vector<renderer_slot> slots;
  for (std::size_t i = 0; i < s.outputs.size(); ++i) {
    if (open[i]) slots.push_back(s.outputs[i]->slot());
  }
  if (s.source != nullptr) {
    s.source->run(s, slots);
  } else {
    run_cases(s.request, s.files, slots, s.summary);
  }
}

}  // namespace

int drive_session(run_session& s) {
  std::vector<bool> open = open_before_run(s);
  for (std::size_t i = 0; i < s.outputs.size(); ++i) {
    if (open[i]) s.outputs[i]->slot().renderer->begin_run(s.header);
  }
  if (s.outputs_open) run_the_cases(s, open);
  for (std::size_t i = 0; i < s.outputs.size(); ++i) {
    if (open[i]) s.outputs[i]->cases_done(s);
  }
  settle_summary(s.summary, !s.request.answer_only, s.fail_on_wrong);
  for (std::size_t i = 0; i < s.outputs.size(); ++i) {
    if (open[i]) s.outputs[i]->settled(s);
  }
  for (std::size_t i = 0; i < s.outputs.size(); ++i) {
    if (open[i]) s.outputs[i]->end(s);
  }
  return s.summary.status;
}
