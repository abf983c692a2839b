#include "app/gradebook.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>

#include "app/class_session.h"
#include "app/ordered_queue.h"
#include "app/report_names.h"
#include "app/signal_watch.h"
#include "checker/gradebook.h"
#include "checker/run.h"
#include "hashing/program_limits.h"
#include "render/class_console.h"
#include "render/explain_text.h"
#include "render/gradebook_csv.h"

#ifndef HASH_CHECKER_VERSION
#define HASH_CHECKER_VERSION "0.0.0"
#endif

namespace {

constexpr std::size_t worker_count = 2;
// How far the workers may grade ahead of the last row printed: what a submission leaves for the
// printing thread (its --explain lines) then costs memory for a few submissions, not the class.
constexpr std::size_t graded_ahead = 2 * worker_count;

std::vector<std::string> paths_in(const std::string& folder,
                                  const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  paths.reserve(names.size());
  std::transform(names.begin(), names.end(), std::back_inserter(paths),
                 [&](const std::string& name) { return joined(folder, name); });
  return paths;
}

void prepare(class_session& s) {
  s.setup.header = {HASH_CHECKER_VERSION, false, s.cl->request.input_path, "",
                    s.cl->no_answer_file ? std::string() : s.cl->answer_file};
  s.setup.header.any_separator = s.cl->request.any_separator;
  // With one input per student the class's reports name the folder of variants as its input.
  if (!s.cl->variant_dir.empty()) s.setup.header.input = s.cl->variant_dir;
  const folder_picking picking{!s.cl->roster.empty() || !s.cl->pick.empty(), s.cl->pick};
  s.listing = list_submissions(s.cl->submissions, s.cl->follow_links, own_files_of(*s.cl),
                               report_folders_of(*s.cl), picking);
  s.setup.submissions = std::move(s.listing.submissions);
  s.setup.follow_links = s.cl->follow_links;
  s.setup.paths.reserve(s.setup.submissions.size());
  std::vector<std::string> named_as;
  named_as.reserve(s.setup.submissions.size());
  for (const class_submission& submission : s.setup.submissions) {
    s.setup.paths.push_back(submission.path);
    named_as.push_back(submission.named_as);
  }
  // The gradebook names the mistakes of Wrong lines, so every Wrong line is diagnosed: a sort of
  // its case's keys (once per case) and the known wrong builds, each linear in the table and
  // tried only up to largest_variant_table slots; a Right line costs nothing more.
  s.setup.diagnose = true;
  s.setup.explain = s.cl->explain;
  s.setup.fail_on_wrong = s.cl->fail_on_wrong;
  s.setup.reveal = s.cl->reveal;
  s.setup.cl = s.cl;
  for (const report_kind* kind : class_report_kinds(*s.cl)) {
    const class_folder_kind& folder = *kind->class_folder;
    folder_reports& reports = s.setup.folders.emplace_back();
    reports.kind = kind;
    reports.folder = s.cl->*folder.folder;
    reports.names = report_names_in(named_as, folder.extension, folder.index_name);
    reports.paths = paths_in(reports.folder, reports.names);
    if (folder.reports_link_index) s.setup.class_page = folder.index_name;
    s.indexes.push_back(std::make_unique<atomic_file>());
  }
}

// Reads and builds every case once; what failed, if anything.
failure read_input(class_session& s) {
  run_request request;
  request.answer_only = true;
  request.input_path = s.cl->request.input_path;
  run_files files;
  failure unread{start_run(request, files)};
  if (unread.failed()) return unread;
  hint_swapped_files(files.count_line_numbers);
  read_all_cases(files, s.cases, s.setup.input);
  return {s.setup.input.error};
}

// The refused and unbuilt cases and an early end of the input, then the roster's header.
void start_roster(class_session& s, const roster_columns& columns) {
  bool any = false;
  for (const case_result& record : s.cases) {
    if (record.state == case_state::built) continue;
    put_text(s.console, shown_path(record.message) + "\n");
    any = true;
  }
  if (s.setup.input.ended_early) {
    put_text(s.console, shown_path(s.setup.input.ended_message) + "\n");
  }
  if (any || s.setup.input.ended_early) put_text(s.console, "\n");
  for (const std::string& line : s.listing.skipped) {
    std::fprintf(stderr, "%s\n", shown_path(line).c_str());
  }
  put_roster_header(s.console, columns);
  const std::size_t case_count = class_case_count(s);
  put_csv_header(s.gradebook.out(), case_count, !s.cl->roster.empty(), !s.cl->variant_dir.empty());
  s.grid.graded.assign(case_count, 0);
  s.grid.right.assign(case_count, {});
}

void print_slot(class_session& s, const roster_columns& columns, std::size_t index) {
  graded_slot& slot = s.slots[index];
  put_roster_line(s.console, columns, slot.row, s.color);
  const std::string& student = lms_note(s.lms, index);
  if (!student.empty()) put_text(s.console, "  " + shown_path(student) + "\n");
  put_text(s.console, slot.notes);
  if (s.cl->roster.empty()) {
    put_csv_row(s.gradebook.out(), slot.row);
  } else if (s.cl->variant_dir.empty()) {
    const std::string text = lms_student(s.lms, index);
    put_csv_row(s.gradebook.out(), slot.row, &text);
  } else {
    // Variants differ in length: a row has a field for every case column all the same.
    const std::size_t case_count = class_case_count(s);
    slot.row.case_right.resize(std::max(case_count, slot.row.case_right.size()), -1);
    const std::string text = lms_student(s.lms, index);
    put_csv_row(s.gradebook.out(), slot.row, &text, &s.setup.input_paths[index]);
  }
  add_to_grid(s.grid, slot.row);
  std::string().swap(slot.notes);
  // The gradebook and the grid have them now.
  std::vector<std::int8_t>().swap(slot.row.case_right);
  std::vector<std::uint8_t>().swap(slot.row.case_lines_right);
  for (const failure& lost : slot.lost) {
    if (lost.failed()) s.failures.push_back(lost.line);
  }
  sync_ahead(s, index + 1);
}

// Two workers grade while this thread prints each submission as soon as those before it are.
// Without a thread to be had, this thread grades and prints each in turn.
void grade_all(class_session& s, const roster_columns& columns) {
  const std::size_t count = s.setup.paths.size();
  s.slots.resize(count);
  const std::size_t workers = std::min(worker_count, count);
  std::size_t bytes = submission_bytes_for(s.cases, s.setup.diagnose);
  for (const std::vector<case_result>& input : s.variants.inputs) {
    bytes = std::max(bytes, submission_bytes_for(input, s.setup.diagnose));
  }
  s.setup.submission_bytes = bytes * workers;
  struct printing {
    class_session* s;
    const roster_columns* columns;
  } context{&s, &columns};
  ordered_work work;
  work.context = &context;
  work.grade = [](void* c, std::size_t index) {
    class_session& session = *static_cast<printing*>(c)->s;
    // The setup and the cases are shared by every worker, read only; each slot, and with
    // variants each copy note, is its submission's alone.
    if (session.cl->variant_dir.empty()) {
      grade_one(session.setup, session.cases, index, session.slots[index]);
      return;
    }
    grade_one(session.setup, session.setup.input_cases[index], index, session.slots[index]);
    check_copy(session.setup, session.lms, index, session.slots[index].row, session.variants);
  };
  work.print = [](void* c, std::size_t index) {
    auto* p = static_cast<printing*>(c);
    print_slot(*p->s, *p->columns, index);
  };
  grade_in_order(count, workers, graded_ahead, work);
}

std::vector<submission_row> rows_of(std::vector<graded_slot>& slots) {
  std::vector<submission_row> rows;
  rows.reserve(slots.size());
  std::transform(slots.begin(), slots.end(), std::back_inserter(rows),
                 [](graded_slot& slot) { return std::move(slot.row); });
  return rows;
}

// The report and page names that had to be shortened, in submission order.
std::vector<shortened_name> shortened_names(const class_session& s) {
  std::vector<shortened_name> shortened;
  for (std::size_t i = 0; i < s.setup.submissions.size(); ++i) {
    const std::string& named_as = s.setup.submissions[i].named_as;
    for (const folder_reports& folder : s.setup.folders) {
      if (name_was_shortened(named_as, folder.names[i])) {
        shortened.push_back({s.setup.paths[i], folder.names[i]});
      }
    }
  }
  return shortened;
}

// Prints the line of what ends the run before any submission is graded; the exit status.
int stop(class_session& s, const failure& what) {
  put_text(s.console, shown_path(what.line) + "\n");
  flush_text(s.console);
  return exit_status_of(what);
}

}  // namespace

int run_gradebook(const command_line& cl, std::FILE* console, bool color) {
  const signal_watch watch;
  class_session s;
  s.cl = &cl;
  s.console.file = console;
  s.color = color;
  prepare(s);
  const std::vector<guarded_file> files = files_of(s);
  // A file of the run on standard output keeps it to itself; the roster moves to standard error.
  if (writes_to_standard_output(files)) s.console.file = stderr;
  std::string refused = same_file_clash(files);
  if (refused.empty()) refused = unwritable_target(files);
  if (!refused.empty()) {
    stop(s, {refused});
    if (!cl.no_answer_file && !refused_kind_text(kind_of_target(cl.answer_file)).empty()) {
      hint_answer_elsewhere();
    }
    return failure_status;
  }
  // With --variant-dir there is no INPUT: each student's variant is read once the roster says
  // whose each submission is.
  failure unread = cl.variant_dir.empty() ? read_input(s) : failure{};
  if (!unread.failed() && !cl.roster.empty()) {
    unread = read_lms_roster(cl, s.lms);
    s.lms_matched = match_lms_downloads(s.lms, s.setup.submissions);
  }
  if (!unread.failed() && !cl.variant_dir.empty()) {
    unread = read_class_variants(cl, s.lms, s.setup, s.variants);
    // An output named as a variant just read would overwrite it.
    if (!unread.failed()) unread = {same_file_clash(files_of(s))};
  }
  if (unread.failed()) return stop(s, unread);
  const failure unopened = open_outputs(s);
  if (unopened.failed()) {
    const int status = stop(s, unopened);
    if (s.answer_refused) hint_answer_elsewhere();
    return status;
  }
  const roster_columns columns = roster_columns_for(s.setup.paths, class_lines(s));
  start_roster(s, columns);
  grade_all(s, columns);
  std::vector<submission_row> rows = rows_of(s.slots);
  class_totals totals = totals_of(rows);
  totals.skipped_folders = s.listing.skipped_folders;
  totals.left_out = s.listing.left_out;
  totals.cases = std::move(s.grid);
  put_class_summary(s.console, totals, shortened_names(s));
  put_copies(s.console, s.setup, s.variants);
  if (!cl.roster.empty()) {
    failure lost = write_lms_grades(cl, s.lms, s.setup.submissions, rows, s.console);
    if (lost.failed()) s.failures.push_back(std::move(lost.line));
  }
  return finish(s, totals, rows);
}
