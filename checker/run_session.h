// One run session: what every run of the checker does, in one order: open the outputs, begin,
// open the inputs, read and grade the cases, settle the status, end. The single run, each
// submission of a class run and the browser page are configurations of it: which outputs, in
// which order, and where the cases come from.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "checker/failure.h"
#include "checker/results.h"
#include "checker/run.h"

struct run_session;

/// When an output creates its file.
enum class output_opening : std::uint8_t {
  none,        // nothing to create: the console, a tally, an in-memory text
  before_run,  // before begin_run; when one fails the run does not start, and none of these
               // outputs hears anything
  alone,       // before begin_run; when it fails it alone is dropped (its own `lost`) and the
               // run goes on
  inputs_open  // once the inputs are open; when it fails the run ends there
};

/// One output of a session: a renderer and the steps its file takes. The session calls each step
/// on the outputs in their order; an output with nothing to do at a step keeps the default.
class run_output {
 public:
  run_output() = default;
  run_output(const run_output&) = delete;
  run_output& operator=(const run_output&) = delete;
  virtual ~run_output() = default;

  [[nodiscard]] virtual output_opening opening() const { return output_opening::none; }
  /// Creates the output's file and its renderer; what failed.
  virtual failure open() { return {}; }
  /// What the run hands the records to (its failure line, whether it renders layouts alone);
  /// asked once the output is open.
  virtual renderer_slot slot() = 0;
  /// Once the cases are done, before the status is settled.
  virtual void cases_done(run_session& /*session*/) {}
  /// Once the status is settled, before any output ends.
  virtual void settled(run_session& /*session*/) {}
  /// Ends the output: end_run, and completing its file. By default end_run alone.
  virtual void end(run_session& session);

  failure lost;  // an `alone` output's failure to open
};

/// An output that is a renderer alone, with nothing to open or complete: a tally, a text kept in
/// memory.
class renderer_output final : public run_output {
 public:
  explicit renderer_output(renderer_slot slot) : slot_(std::move(slot)) {}
  renderer_slot slot() override { return slot_; }

 private:
  renderer_slot slot_;
};

/// Where a session's cases come from when not from its input file read case by case (start_run,
/// run_cases): a class run grades each submission against cases read once.
class case_source {
 public:
  case_source() = default;
  case_source(const case_source&) = delete;
  case_source& operator=(const case_source&) = delete;
  virtual ~case_source() = default;
  /// Opens what the run reads; what failed.
  virtual failure open(run_session& session) = 0;
  /// Reads and grades every case, handing the records to `slots` and filling the summary.
  virtual void run(run_session& session, std::span<const renderer_slot> slots) = 0;
};

/// Everything one run holds, from its first output opened to its last ended.
struct run_session {
  run_header header;
  run_request request;
  bool fail_on_wrong = false;
  std::vector<run_output*> outputs;  // in the order they hear every record and end
  case_source* source = nullptr;     // null: the input file, read by the session itself
  run_files files;
  run_summary summary;
  bool outputs_open = true;  // no `before_run` output failed to open
};

/// Runs the session: opens the `before_run` and `alone` outputs, tells every open output
/// begin_run, opens the inputs and then the `inputs_open` outputs, reads and grades the cases,
/// asks each output's cases_done, settles the status (settle_summary), asks each output's settled
/// and ends each. A failure at any step lands in the summary and skips the steps it makes
/// pointless; an output that was never opened hears nothing. Returns the exit status.
int drive_session(run_session& session);
