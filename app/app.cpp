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

// A report asked for on the command line, with the file it is written through.
struct report {
  const report_kind* kind = nullptr;
  std::string role;
  std::string path;
  atomic_file file;
  std::unique_ptr<result_renderer> renderer;
};

std::string write_failure_line(const report& r) {
  return file_failure_line(r.role, r.path, file_step::write);
}

bool wants_color(color_mode mode, std::FILE* console) {
  if (mode != color_mode::automatic) return mode == color_mode::always;
  const char* no_color = std::getenv("NO_COLOR");
  return (no_color == nullptr || *no_color == '\0') && ::isatty(::fileno(console)) == 1;
}

std::vector<std::unique_ptr<report>> asked_reports(const command_line& cl) {
  std::vector<std::unique_ptr<report>> reports;
  for (const report_kind& kind : report_kinds()) {
    const std::string& path = cl.*kind.path;
    if (path.empty()) continue;
    auto r = std::make_unique<report>();
    r->kind = &kind;
    r->role = kind.role;
    r->path = path;
    reports.push_back(std::move(r));
  }
  return reports;
}

std::vector<guarded_file> files_of(const command_line& cl,
                                   const std::vector<std::unique_ptr<report>>& reports) {
  // The answer file comes first, so that a clash names the file read: "Input File x is the
  // answer file y".
  std::vector<guarded_file> files;
  if (!cl.no_answer_file) files.push_back({"Answer File", cl.answer_file, true});
  files.push_back({"Input File", cl.request.input_path, false});
  if (!cl.request.answer_only) files.push_back({"Output File", cl.request.output_path, false});
  std::transform(reports.begin(), reports.end(), std::back_inserter(files), [](const auto& r) {
    return guarded_file{r->role, r->path, true};
  });
  return files;
}

// The closing line names the answer file only when the command line named it: a legacy command
// line keeps its bytes.
std::string closing_line(const command_line& cl) {
  if (cl.no_answer_file) return "No answer file was written (--no-answer-file).";
  return "You can find answer in [" + cl.answer_file + "] file.";
}

// Everything one run holds, so that each step below reads as a line.
struct session {
  command_line cl;
  std::vector<std::unique_ptr<report>> reports;
  text_out console;
  // What the console shows: the transcript, or with --vpl VPL's comments and grade.
  std::unique_ptr<result_renderer> console_view;
  console_transcript* transcript = nullptr;  // the view, when it is the transcript
  atomic_file answer;
  std::unique_ptr<answer_file_writer> answer_writer;
  run_files files;
  run_summary summary;
  bool answer_refused = false;  // the answer file could not be opened
};

run_header header_of(const session& s) {
  run_header header{HASH_CHECKER_VERSION,
                    s.cl.request.answer_only,
                    s.cl.request.input_path,
                    s.cl.request.output_path,
                    s.cl.no_answer_file ? std::string() : s.cl.answer_file,
                    s.cl.reveal};
  header.any_separator = s.cl.request.any_separator;
  return header;
}

// Creates the reports' temporary files; what failed, if anything.
failure open_reports(const session& s) {
  for (const auto& r : s.reports) {
    if (!r->file.open(r->path)) return file_failure(r->role, r->path, file_step::open);
    r->renderer = make_report(*r->kind, r->file.out(), s.cl);
  }
  return {};
}

std::vector<renderer_slot> slots_of(session& s) {
  std::vector<renderer_slot> slots{{s.console_view.get(), ""}};
  if (s.answer_writer) {
    slots.push_back({s.answer_writer.get(),
                     file_failure_line("Answer File", s.cl.answer_file, file_step::write)});
  }
  std::transform(s.reports.begin(), s.reports.end(), std::back_inserter(slots), [](const auto& r) {
    return renderer_slot{r->renderer.get(), write_failure_line(*r)};
  });
  return slots;
}

// Opens the inputs, then the answer file, and runs the cases; every failure lands in the summary.
void run_all(session& s) {
  s.summary.error = start_run(s.cl.request, s.files);
  if (!s.summary.error.empty()) return;
  if (!s.cl.no_answer_file) {
    if (!s.answer.open(s.cl.answer_file)) {
      s.summary.error = file_failure_line("Answer File", s.cl.answer_file, file_step::open);
      s.answer_refused = true;
      return;
    }
    s.answer_writer = std::make_unique<answer_file_writer>(s.answer.out());
  }
  const std::vector<renderer_slot> slots = slots_of(s);
  run_cases(s.cl.request, s.files, slots, s.summary);
}

// The answer file replaces the old one only when the run is complete and the console took
// everything so far: a failed run keeps the previous answer.
void commit_answer(session& s) {
  if (!s.answer_writer || !s.summary.error.empty()) return;
  if (!flush_text(s.console)) return;
  if (!s.answer.commit()) {
    s.summary.error = file_failure_line("Answer File", s.cl.answer_file, file_step::write);
  }
}

void settle_status(session& s) {
  settle_summary(s.summary, !s.cl.request.answer_only, s.cl.fail_on_wrong);
}

// Writes every report's body through to disk before the console's last lines, so that a report
// that can't be written is named there like any other failure.
void prepare_reports(session& s) {
  for (const auto& r : s.reports) {
    if (!r->renderer || flush_text_to_disk(r->file.out()) || !s.summary.error.empty()) continue;
    s.summary.error = write_failure_line(*r);
    s.summary.status = failure_status;
  }
}

// Ends the transcript; the console failing makes the run a failure that the reports record.
void finish_console(session& s) {
  s.console_view->end_run(s.summary);
  if (s.answer_refused) hint_answer_elsewhere();
  if (flush_text(s.console)) return;
  const std::string lost = step_failure_line(console_name(s.console), file_step::write);
  std::fputs(("hash_checker: " + lost + "\n").c_str(), stderr);
  if (s.summary.error.empty()) s.summary.error = lost;
  s.summary.status = failure_status;
}

// Reports are committed whatever the outcome, so an autograder always finds a result, and last,
// so that the status they hold is the one the run exits with. A report lost this late is named
// after the transcript.
void finish_reports(session& s) {
  for (const auto& r : s.reports) {
    if (!r->renderer) continue;
    r->renderer->end_run(s.summary);
    if (!r->file.commit()) {
      put_text(s.console, shown_path(write_failure_line(*r)) + "\n");
      flush_text(s.console);
      s.summary.status = failure_status;
    }
  }
}

int run_session(session& s, std::FILE* keyboard) {
  const run_header header = header_of(s);
  s.summary.error = open_reports(s).line;
  const bool reports_open = s.summary.error.empty();
  s.console_view->begin_run(header);
  for (const auto& r : s.reports) {
    if (reports_open) r->renderer->begin_run(header);
  }
  if (reports_open) run_all(s);
  hint_swapped_files(s.files.count_line_numbers);
  commit_answer(s);
  settle_status(s);
  if (reports_open) prepare_reports(s);
  finish_console(s);
  if (reports_open) finish_reports(s);
  const bool prompted = s.transcript != nullptr && s.transcript->prompted();
  if (!s.console.failed && prompted && keyboard != nullptr) std::fgetc(keyboard);
  return s.summary.status;
}

}  // namespace

int run_checker(int argc, const char* const* argv, std::FILE* console, std::FILE* keyboard) {
  session s;
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
  s.reports = asked_reports(s.cl);
  // A diagnosis costs a sort of the case's keys; only --explain and the reports that show it pay.
  s.cl.request.diagnose = s.cl.explain || s.cl.vpl || reports_need_diagnosis(s.cl);
  const std::vector<guarded_file> files = files_of(s.cl, s.reports);
  // A report on standard output keeps it to itself; the transcript moves to standard error.
  s.console.file = writes_to_standard_output(files) ? stderr : console;
  console = s.console.file;
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
  if (s.cl.vpl) {
    // VPL shows its comments to the student: they obey --reveal as the reports do.
    s.console_view = std::make_unique<reveal_filter>(
        std::make_unique<vpl_console>(s.console, s.cl.points_hundredths));
  } else {
    auto transcript = std::make_unique<console_transcript>(
        s.console, wants_color(s.cl.color, console), s.cl.explain);
    if (s.cl.answer_file_named) transcript->set_closing_line(closing_line(s.cl));
    s.transcript = transcript.get();
    s.console_view = std::move(transcript);
  }
  // Standard input is then a file the run has read to its end: no key is left to wait for.
  return run_session(s, s.cl.reads_standard_input ? nullptr : keyboard);
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
