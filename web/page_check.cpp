// The page's one entry point: the checker's own run over the two files the page was given,
// rendered into in-memory files that the page then shows. It runs in the page's Web Worker
// (web/worker.js), which tells the page how far the check has come; the page's script only moves
// bytes.

#include <emscripten/emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checker/grading.h"
#include "checker/reveal.h"
#include "checker/run.h"
#include "checker/run_session.h"
#include "checker/run_status.h"
#include "hashing/huge_pages.h"
#include "render/answer_file_writer.h"
#include "render/console_transcript.h"
#include "render/html_report.h"
#include "render/text_out.h"

#ifndef HASH_CHECKER_VERSION
#define HASH_CHECKER_VERSION "0.0.0"
#endif
// What the page's report shows, fixed when the page is built (checked when it is configured).
#ifndef HASH_CHECKER_WEB_REVEAL
#define HASH_CHECKER_WEB_REVEAL "diagnosis"
#endif

// Tells the page the check is at case `number` of `cases`, `lines` of its lines done: a message
// from the worker, shown in the page's status line.
// The body is JavaScript, which clang-format would split ("=== " into "== =").
// clang-format off
EM_JS(void, tell_progress, (double number, double cases, int lines), {
  if (typeof postMessage === "function") postMessage({ progress: [number, cases, lines] });
});
// clang-format on

namespace {

// Where the page leaves the picked files. The run itself works in `run_folder`, so that every
// message names a file as the student picked it.
constexpr const char* picked_input = "/picked/input";
constexpr const char* picked_output = "/picked/output";
constexpr const char* run_folder = "/run";
constexpr const char* answer_name = "hash_answer.txt";

// A browser gives a file's name without its folder, but it may still be empty, "." or "..", or
// hold a slash on some systems; such a name is replaced rather than followed.
std::string usable_name(std::string_view name, std::string_view fallback) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) {
    return std::string(fallback);
  }
  return std::string(name);
}

// One rendered output: a stream into a buffer of the module's memory that the page reads in
// place. (A file of the in-memory file system would grow by small steps, copying itself each
// time: a quarter of a large case's time.)
struct sink {
  char* data = nullptr;
  std::size_t size = 0;
  std::unique_ptr<std::FILE, file_closer> file;
  text_out out;
  bool open() {
    file.reset();
    std::free(data);
    data = nullptr;
    size = 0;
    file.reset(::open_memstream(&data, &size));
    out.file = file.get();
    return file != nullptr;
  }
  // Flushes the stream and ends it, leaving its text in `data` and `size`.
  void finish() {
    flush_text(out);
    file.reset();
    out.file = nullptr;
  }
  // Lets go of the text of the check before.
  void clear() {
    file.reset();
    out = text_out{};
    std::free(data);
    data = nullptr;
    size = 0;
  }
  ~sink() { std::free(data); }
};

// The transcript, the HTML report and the answer file of the last check, in that order.
std::array<sink, 3> results;

// The outcome the page reads: exit status, score, right and all lines, the reveal level, then
// the failure line (empty when none), one per line.
std::string outcome_text(const run_summary& summary) {
  return std::to_string(summary.status) + "\n" + std::to_string(summary.score) + "\n" +
         std::to_string(summary.right) + "\n" + std::to_string(summary.all) + "\n" +
         HASH_CHECKER_WEB_REVEAL + "\n" + summary.error;
}

std::string outcome;

reveal_level page_reveal() {
  return parse_reveal(HASH_CHECKER_WEB_REVEAL).value_or(reveal_level::score);
}

// Hears the run's case and line events and tells the page, at most every 50 ms, how far it is.
class progress_renderer final : public result_renderer {
 public:
  void watch(const run_files& files) { files_ = &files; }
  void begin_case(const case_result& record) override { tell(record.number, 0); }
  void line(const case_result& record, const line_result& /*result*/) override {
    tell(record.number, ++lines_);
  }
  // A diagnosing run reads a case's lines whole before it grades them: on a large case, most of
  // the wait, so the line being read is told too.
  void line_read(int line_in_case) { tell(number_, line_in_case, false); }

 private:
  void tell(std::int64_t number, int lines, bool counted = true) {
    number_ = number;
    if (!counted) {
      say(number, lines);
      return;
    }
    if (lines == 0) lines_ = 0;
    say(number, lines);
  }
  void say(std::int64_t number, int lines) {
    const double now = emscripten_get_now();
    if (now - told_at_ < 50 || files_ == nullptr) return;
    told_at_ = now;
    tell_progress(static_cast<double>(number), static_cast<double>(files_->case_count), lines);
  }
  const run_files* files_ = nullptr;
  std::int64_t number_ = 0;
  int lines_ = 0;
  double told_at_ = -1e9;
};

// What a case takes at its peak in the page, by slot and by key: its three tables, the submitted
// lines, their diagnosis (which sorts the keys) and the shape's digests, as measured on cases of
// 10^7 slots and 10^6 or 7 * 10^6 keys (about 46 bytes a slot and 39 a key), the two lines more
// a diagnosis holds while it reads a case's lines together (8 bytes a slot), and a margin.
constexpr std::uint64_t case_bytes_per_slot = 64;
constexpr std::uint64_t case_bytes_per_key = 48;
// A run that renders the answer file or the transcript also keeps that text, which grows by
// doubling: as measured on the same cases, about this much more a slot.
constexpr std::uint64_t text_bytes_per_slot = 64;
bool keeps_texts = false;  // the run under way renders the answer file or the transcript

// The room check of the page (run_files::room_for_case): a memory grown for a case's peak once is
// never given back, so whatever the case asks for later is there. An allocation that fails
// mid-case would end the module; a case refused here is one case not built, as natively.
std::string room_for_case(const case_result& record) {
  // Counted in 64 bits: the module's size_t is 32.
  const std::uint64_t keys = record.first_keys.size() + record.second_keys.size();
  const std::uint64_t per_slot = case_bytes_per_slot + (keeps_texts ? text_bytes_per_slot : 0);
  const std::uint64_t bytes =
      static_cast<std::uint64_t>(record.table_size) * per_slot + keys * case_bytes_per_key;
  if (bytes <= SIZE_MAX && can_hold_keys(static_cast<std::size_t>(bytes / sizeof(key)))) return "";
  const std::uint64_t megabytes = (bytes + (std::uint64_t{1} << 20) - 1) >> 20;
  return "case " + std::to_string(record.number) + " not built: the browser could not give it " +
         std::to_string(megabytes) + " MB";
}

}  // namespace

// Emscripten's C library declares this without defining it. It is only a hint to start disk
// writes early, and the page's files live in memory: there is nothing to hand to a disk.
extern "C" int sync_file_range(int /*fd*/, off_t /*offset*/, off_t /*bytes*/, unsigned /*flags*/) {
  return 0;
}

namespace {

// The run of the last check, kept so that the parts the page shows later are rendered from the
// same files, as the same run renders them.
run_request last_request;
run_header last_header;

bool teacher_view() { return page_reveal() == reveal_level::all; }

// The progress a run under way tells of the lines it reads (run_files::line_read takes no
// context).
progress_renderer* watching = nullptr;

// How many numbers the last input's first line held (more than one: the files look swapped).
std::int64_t last_count_line_numbers = 0;

// Runs the last check again over the files in `run_folder`, rendering into `slots` alone, and
// telling `progress`, when given, how far it is.
run_summary run_again(bool diagnose, std::span<const renderer_slot> slots,
                      progress_renderer* progress = nullptr) {
  std::vector<std::unique_ptr<renderer_output>> outputs;
  run_session session;
  session.header = last_header;
  session.request = last_request;
  session.request.diagnose = diagnose;
  for (const renderer_slot& slot : slots) {
    outputs.push_back(std::make_unique<renderer_output>(slot));
    session.outputs.push_back(outputs.back().get());
  }
  session.files.room_for_case = room_for_case;
  if (progress != nullptr) {
    progress->watch(session.files);
    watching = progress;
    session.files.line_read = [](int line_in_case) {
      if (watching != nullptr) watching->line_read(line_in_case);
    };
  }
  drive_session(session);
  watching = nullptr;
  last_count_line_numbers = session.files.count_line_numbers;
  return session.summary;
}

}  // namespace

/// Checks the output file the page stored at /picked/output against the input file at
/// /picked/input, under the names the student's files have (a name that can't be used as one is
/// replaced). Renders the HTML report as the program writes it for `--explain --html` (see
/// result_text), filtered as `--reveal` filters it in a page built to reveal less than `all`;
/// the transcript and the answer file wait for render_part. Returns the outcome lines (see
/// outcome_text); a failure line there means the score is not to be shown, as when a file can't
/// be opened or the first line holds no case count. An input whose first line looks like an
/// output file's adds the hint of swapped files after it.
extern "C" EMSCRIPTEN_KEEPALIVE const char* check_picked(const char* input_name,
                                                         const char* output_name) {
  run_request request;
  request.input_path = usable_name(input_name, "input.txt");
  request.output_path = usable_name(output_name, "output.txt");
  // Two files of the same name, picked from two folders, can't sit side by side.
  if (request.output_path == request.input_path)
    request.output_path = "output/" + request.output_path;
  request.diagnose = true;
  ::mkdir(run_folder, 0700);
  ::mkdir("/run/output", 0700);
  const std::string run = run_folder;
  std::rename(picked_input, (run + "/" + request.input_path).c_str());
  std::rename(picked_output, (run + "/" + request.output_path).c_str());
  ::chdir(run_folder);
  last_request = request;
  const reveal_level reveal = page_reveal();
  last_header = run_header{HASH_CHECKER_VERSION,
                           false,
                           request.input_path,
                           request.output_path,
                           teacher_view() ? answer_name : "",
                           reveal};

  for (sink& s : results) s.clear();
  sink& report_file = results[1];
  run_summary summary;
  if (!report_file.open()) {
    summary.status = failure_status;
    summary.error = "The page can't keep its results: out of memory";
    outcome = outcome_text(summary);
    return outcome.c_str();
  }
  reveal_filter report(std::make_unique<html_report>(report_file.out));
  progress_renderer progress;
  const std::array<renderer_slot, 2> slots{renderer_slot{&report, "HTML report write failed"},
                                           renderer_slot{&progress, ""}};
  keeps_texts = false;
  summary = run_again(true, slots, &progress);
  report_file.finish();
  outcome = outcome_text(summary);
  // Files picked the wrong way round: the page shows the hint where it shows a failure.
  const std::string hint = swapped_files_hint(last_count_line_numbers);
  if (!hint.empty()) outcome += (summary.error.empty() ? "" : "\n") + hint;
  return outcome.c_str();
}

/// Whether the page offers the transcript and the answer file: not when built to reveal less
/// than `all`, as both hold the expected layouts.
extern "C" EMSCRIPTEN_KEEPALIVE int parts_offered() { return teacher_view() ? 1 : 0; }

/// Renders part `part` of the last check when the page first shows or saves it: 0 the console
/// transcript with every Wrong line explained, 2 the answer file, byte for byte as the program
/// writes them for `--explain --html`. False when the part is not offered or its text can't be
/// kept.
extern "C" EMSCRIPTEN_KEEPALIVE int render_part(int part) {
  if (!teacher_view() || (part != 0 && part != 2)) return 0;
  sink& file = results[static_cast<std::size_t>(part)];
  if (!file.open()) return 0;
  keeps_texts = true;
  if (part == 0) {
    console_transcript transcript(file.out, false, true);
    const std::array<renderer_slot, 1> slots{renderer_slot{&transcript, ""}};
    run_again(true, slots);
  } else {
    answer_file_writer answer(file.out);
    const std::array<renderer_slot, 1> slots{
        renderer_slot{&answer, "Answer File hash_answer.txt write failed"}};
    run_again(false, slots);
  }
  file.finish();
  return 1;
}

/// The text of part `part` of the last check: 0 the transcript, 1 the HTML report, 2 the answer
/// file; null for any other part, before a check, and before render_part for 0 and 2.
/// result_size gives its length in bytes.
extern "C" EMSCRIPTEN_KEEPALIVE const char* result_text(int part) {
  return part >= 0 && part < 3 ? results[static_cast<std::size_t>(part)].data : nullptr;
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t result_size(int part) {
  return part >= 0 && part < 3 ? results[static_cast<std::size_t>(part)].size : 0;
}
