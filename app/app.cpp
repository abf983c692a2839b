#include "app/app.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/file_guard.h"
#include "app/gradebook.h"
#include "app/input_tools.h"
#include "app/options.h"
#include "app/report_factory.h"
#include "app/variant_tools.h"
#include "checker/failure.h"
#include "checker/grading.h"
#include "checker/reveal.h"
#include "checker/run.h"
#include "checker/run_session.h"
#include "checker/run_status.h"
#include "hashing/program_limits.h"
#include "render/answer_file_writer.h"
#include "render/atomic_file.h"
#include "render/class_console.h"
#include "render/console_transcript.h"
#include "render/platform_reports.h"

#ifndef HASH_CHECKER_VERSION
#define HASH_CHECKER_VERSION "0.0.0"
#endif

namespace {

// The console: the transcript, or with --vpl VPL's comments and grade. It says after the cases
// that the files look swapped, and ends first, so that the reports hold a console that failed.
class console_output final : public run_output {
 public:
  console_output(text_out& console, std::unique_ptr<result_renderer> view,
                 const bool* answer_refused)
      : console_(console), view_(std::move(view)), answer_refused_(answer_refused) {}
  renderer_slot slot() override { return {view_.get(), ""}; }
  void cases_done(run_session& s) override { hint_swapped_files(s.files.count_line_numbers); }
  // The console failing makes the run a failure that the reports record.
  void end(run_session& s) override {
    view_->end_run(s.summary);
    if (*answer_refused_) hint_answer_elsewhere();
    if (flush_text(console_)) return;
    const std::string lost = step_failure_line(console_name(console_), file_step::write);
    std::fputs(("hash_checker: " + lost + "\n").c_str(), stderr);
    if (s.summary.error.empty()) s.summary.error = lost;
    s.summary.status = failure_status;
  }

 private:
  text_out& console_;
  std::unique_ptr<result_renderer> view_;
  const bool* answer_refused_;
};

// The answer file, opened once the inputs are: it replaces the old one only when the run is
// complete and the console took everything so far, so a failed run keeps the previous answer.
class answer_output final : public run_output {
 public:
  answer_output(text_out& console, std::string path) : console_(console), path_(std::move(path)) {}
  [[nodiscard]] output_opening opening() const override { return output_opening::inputs_open; }
  failure open() override {
    refused = !file_.open(path_);
    if (refused) return file_failure("Answer File", path_, file_step::open);
    writer_ = std::make_unique<answer_file_writer>(file_.out());
    return {};
  }
  renderer_slot slot() override {
    return {writer_.get(), file_failure_line("Answer File", path_, file_step::write)};
  }
  void cases_done(run_session& s) override {
    if (!s.summary.error.empty() || !flush_text(console_)) return;
    if (!file_.commit()) {
      s.summary.error = file_failure_line("Answer File", path_, file_step::write);
    }
  }
  void end(run_session& /*session*/) override {}  // complete once the cases were

  bool refused = false;  // the answer file could not be opened

 private:
  text_out& console_;
  std::string path_;
  atomic_file file_;
  std::unique_ptr<answer_file_writer> writer_;
};

// A report asked for on the command line. Its body is written through to disk before the console's
// last lines, so that a report that can't be written is named there like any other failure; it is
// committed last, whatever the outcome, so that an autograder always finds a result holding the
// status the run exits with. A report lost this late is named after the transcript.
class report_output final : public run_output {
 public:
  report_output(const report_kind& kind, std::string path, const command_line& cl,
                text_out& console)
      : kind_(kind), path_(std::move(path)), cl_(cl), console_(console) {}
  [[nodiscard]] output_opening opening() const override { return output_opening::before_run; }
  failure open() override {
    if (!file_.open(path_)) return file_failure(kind_.role, path_, file_step::open);
    renderer_ = make_report(kind_, file_.out(), cl_);
    return {};
  }
  renderer_slot slot() override { return {renderer_.get(), write_failure_line()}; }
  void settled(run_session& s) override {
    if (flush_text_to_disk(file_.out()) || !s.summary.error.empty()) return;
    s.summary.error = write_failure_line();
    s.summary.status = failure_status;
  }
  void end(run_session& s) override {
    renderer_->end_run(s.summary);
    if (file_.commit()) return;
    put_text(console_, shown_path(write_failure_line()) + "\n");
    flush_text(console_);
    s.summary.status = failure_status;
  }
  [[nodiscard]] std::string role() const { return std::string(kind_.role); }
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  [[nodiscard]] std::string write_failure_line() const {
    return file_failure_line(kind_.role, path_, file_step::write);
  }
  const report_kind& kind_;
  std::string path_;
  const command_line& cl_;
  text_out& console_;
  atomic_file file_;
  std::unique_ptr<result_renderer> renderer_;
};

bool wants_color(color_mode mode, std::FILE* console) {
  if (mode != color_mode::automatic) return mode == color_mode::always;
  const char* no_color = std::getenv("NO_COLOR");
  return (no_color == nullptr || *no_color == '\0') && ::isatty(::fileno(console)) == 1;
}

// Everything the single run holds: its outputs, in the order they hear the records and end (the
// console, the answer file, the reports in the table's order), and the session that drives them.
struct single_run {
  command_line cl;
  text_out console;
  std::unique_ptr<console_output> console_view;
  console_transcript* transcript = nullptr;  // the console's view, when it is the transcript
  std::unique_ptr<answer_output> answer;
  std::vector<std::unique_ptr<report_output>> reports;
  run_session session;
};

void add_reports(single_run& r) {
  for (const report_kind& kind : report_kinds()) {
    const std::string& path = r.cl.*kind.path;
    if (path.empty()) continue;
    r.reports.push_back(std::make_unique<report_output>(kind, path, r.cl, r.console));
  }
}

std::vector<guarded_file> files_of(const single_run& r) {
  // The answer file comes first, so that a clash names the file read: "Input File x is the
  // answer file y".
  std::vector<guarded_file> files;
  if (!r.cl.no_answer_file) files.push_back({"Answer File", r.cl.answer_file, true});
  files.push_back({"Input File", r.cl.request.input_path, false});
  if (!r.cl.request.answer_only) files.push_back({"Output File", r.cl.request.output_path, false});
  std::transform(r.reports.begin(), r.reports.end(), std::back_inserter(files),
                 [](const auto& report) {
                   return guarded_file{report->role(), report->path(), true};
                 });
  return files;
}

// The closing line names the answer file only when the command line named it: a legacy command
// line keeps its bytes.
std::string closing_line(const command_line& cl) {
  if (cl.no_answer_file) return "No answer file was written (--no-answer-file).";
  return "You can find answer in [" + cl.answer_file + "] file.";
}

run_header header_of(const command_line& cl) {
  run_header header{HASH_CHECKER_VERSION,
                    cl.request.answer_only,
                    cl.request.input_path,
                    cl.request.output_path,
                    cl.no_answer_file ? std::string() : cl.answer_file,
                    cl.reveal};
  header.any_separator = cl.request.any_separator;
  return header;
}

// The console's view: the transcript, or with --vpl VPL's comments and grade.
std::unique_ptr<result_renderer> console_view_of(single_run& r) {
  if (r.cl.vpl) {
    // VPL shows its comments to the student: they obey --reveal as the reports do.
    return std::make_unique<reveal_filter>(
        std::make_unique<vpl_console>(r.console, r.cl.points_hundredths));
  }
  auto transcript = std::make_unique<console_transcript>(
      r.console, wants_color(r.cl.color, r.console.file), r.cl.explain);
  if (r.cl.answer_file_named) transcript->set_closing_line(closing_line(r.cl));
  r.transcript = transcript.get();
  return transcript;
}

int run_single(single_run& r, std::FILE* keyboard) {
  r.answer = std::make_unique<answer_output>(r.console, r.cl.answer_file);
  r.console_view =
      std::make_unique<console_output>(r.console, console_view_of(r), &r.answer->refused);
  run_session& s = r.session;
  s.header = header_of(r.cl);
  s.request = r.cl.request;
  s.fail_on_wrong = r.cl.fail_on_wrong;
  s.outputs.push_back(r.console_view.get());
  if (!r.cl.no_answer_file) s.outputs.push_back(r.answer.get());
  for (const auto& report : r.reports) s.outputs.push_back(report.get());
  const int status = drive_session(s);
  const bool prompted = r.transcript != nullptr && r.transcript->prompted();
  if (!r.console.failed && prompted && keyboard != nullptr) std::fgetc(keyboard);
  return status;
}

}  // namespace

int run_checker(int argc, const char* const* argv, std::FILE* console, std::FILE* keyboard) {
  single_run s;
  s.cl = parse_command_line(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
  if (!s.cl.error.empty()) {
    std::fprintf(stderr, "%s\n", shown_path(s.cl.error).c_str());
    return usage_status;
  }
  if (s.cl.help || s.cl.version) {
    const std::string text =
        s.cl.help ? usage_text() : std::string("hash_checker ") + HASH_CHECKER_VERSION + "\n";
    return std::fputs(text.c_str(), console) >= 0 && std::fflush(console) == 0 ? success_status
                                                                               : failure_status;
  }
  if (s.cl.audit) return run_audit(s.cl, console);
  if (!s.cl.generate.empty()) return run_generate(s.cl, console);
  if (!s.cl.generate_large.empty()) return run_generate_large(s.cl, console);
  if (!s.cl.make_variants.empty()) return run_make_variants(s.cl, console);
  if (!s.cl.gradebook.empty()) {
    return run_gradebook(s.cl, console, wants_color(s.cl.color, console));
  }
  add_reports(s);
  // A diagnosis costs a sort of the case's keys; only --explain and the reports that show it pay.
  s.cl.request.diagnose = s.cl.explain || s.cl.vpl || reports_need_diagnosis(s.cl);
  const std::vector<guarded_file> files = files_of(s);
  // A report on standard output keeps it to itself; the transcript moves to standard error.
  s.console.file = writes_to_standard_output(files) ? stderr : console;
  std::string refused = same_file_clash(files);
  if (refused.empty()) refused = unwritable_target(files);
  if (!refused.empty()) {
    put_text(s.console, shown_path(refused) + "\n");
    flush_text(s.console);
    if (!s.cl.no_answer_file && !refused_kind_text(kind_of_target(s.cl.answer_file)).empty()) {
      hint_answer_elsewhere();
    }
    return failure_status;
  }
  // Standard input is then a file the run has read to its end: no key is left to wait for.
  return run_single(s, s.cl.reads_standard_input ? nullptr : keyboard);
}

void reserve_standard_streams() {
  // A closed descriptor 0, 1 or 2 would be handed to the next file opened, and the console would
  // then write into a report. /dev/null read-only takes the place: writes to it fail, as writes to
  // a closed stream do.
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != descriptor) {
      ::dup2(opened, descriptor);
      ::close(opened);
    }
  }
}

void stop_on_out_of_memory() {
  std::set_new_handler([] {
    remove_temporary_files_now();
    std::fputs("Out of memory\n", stdout);
    std::fflush(stdout);
    std::_Exit(failure_status);
  });
}
