#include <algorithm>
#include <filesystem>
#include <iterator>
#include <system_error>

#include "app/class_session.h"
#include "app/report_names.h"
#include "checker/run_status.h"
#include "hashing/program_limits.h"
#include "hashing/thread_start.h"
#include "render/answer_file_writer.h"
#include "render/class_console.h"
#include "render/class_html.h"
#include "render/class_json.h"

namespace {

// Creates `folder` and its parents when missing; false when it is not a folder afterwards.
bool make_folder(const std::string& folder) {
  std::error_code failed;
  return std::filesystem::create_directories(folder, failed) || is_folder(folder);
}

// A class run is incomplete also when a submission was not graded or a download not matched.
int class_status(const class_session& s, const class_totals& totals) {
  run_outcome outcome = outcome_of(s.setup.input, true, s.cl->fail_on_wrong);
  outcome.incomplete = outcome.incomplete || totals.graded < totals.submissions ||
                       totals.graded == 0 || !s.lms_matched;
  outcome.graded = class_lines(s);
  outcome.any_wrong = totals.any_wrong;
  return exit_status(outcome);
}

// The class's own file in folder `f` (class.json, index.html), written whole into its temporary
// file; its line when it could not be.
failure write_index(const class_session& s, std::size_t f, const class_index& index) {
  const folder_reports& folder = s.setup.folders[f];
  const class_folder_kind& kind = *folder.kind->class_folder;
  const std::string path = joined(folder.folder, kind.index_name);
  atomic_file& file = *s.indexes[f];
  if (file.open_staged(path, folder.staged_path(kind.index_name))) {
    kind.write_index(file.out(), index);
    if (file.finish(false)) return {};  // synced with its folder (sync_completed_files)
  }
  return file_failure(kind.index_role, path, file_step::write);
}

// Writes the class's file of every folder whose file holds the run's exit status, or of every
// other; each failure adds its line.
bool write_indexes(class_session& s, class_index index, bool holding_status) {
  bool written = true;
  for (std::size_t f = 0; f < s.setup.folders.size(); ++f) {
    const folder_reports& folder = s.setup.folders[f];
    if (folder.kind->class_folder->index_holds_status != holding_status) continue;
    index.names = folder.names;
    const failure lost = write_index(s, f, index);
    if (lost.failed()) s.failures.push_back(lost.line);
    written = written && !lost.failed();
  }
  return written;
}

bool is_staged(const class_session& s, std::size_t f) {
  return s.setup.folders[f].staging != nullptr;
}

// The completed reports of folder `f`, in submission order, and its class's own file when that
// lies in the folder's staging folder.
std::vector<atomic_file*> completed_reports(const class_session& s, std::size_t f) {
  std::vector<atomic_file*> files;
  for (const graded_slot& slot : s.slots) {
    if (f < slot.files.size() && slot.files[f] != nullptr && slot.files[f]->finished()) {
      files.push_back(slot.files[f].get());
    }
  }
  if (is_staged(s, f) && s.indexes[f]->finished()) files.push_back(s.indexes[f].get());
  return files;
}

// The class's own completed files, in the order they are renamed: the answer file last, so that
// a new answer never stands beside an old gradebook.
std::vector<atomic_file*> completed_class_files(class_session& s) {
  std::vector<atomic_file*> files;
  const auto add = [&](atomic_file* file) {
    if (file != nullptr && file->finished()) files.push_back(file);
  };
  for (std::size_t f = 0; f < s.indexes.size(); ++f) {
    if (!is_staged(s, f)) add(s.indexes[f].get());
  }
  for (atomic_file* file : {&s.lms.file, &s.gradebook, &s.answer}) add(file);
  return files;
}

// Every file of the run that was completed: the reports folder by folder, then the class's own.
std::vector<atomic_file*> completed_files(class_session& s) {
  std::vector<atomic_file*> files;
  for (std::size_t f = 0; f < s.setup.folders.size(); ++f) {
    const std::vector<atomic_file*> reports = completed_reports(s, f);
    files.insert(files.end(), reports.begin(), reports.end());
  }
  const std::vector<atomic_file*> own = completed_class_files(s);
  files.insert(files.end(), own.begin(), own.end());
  return files;
}

// The submissions' reports and pages, and beside them the class's own files, were finished
// unsynced: one sync of each file system they lie on writes them all, before any is renamed into
// place. A sync that fails adds its line.
bool sync_completed_files(class_session& s) {
  s.early_sync.join();
  const std::vector<std::string> failed = sync_finished_files(completed_files(s));
  for (const std::string& folder : failed) {
    s.failures.push_back("Folder " + folder + " sync failed");
  }
  return failed.empty();
}

// Files renamed in turn, or their staging folder renamed whole, and the lines of those that
// could not be.
struct renames {
  std::vector<atomic_file*> files;
  staging_folder* staging = nullptr;
  std::vector<std::string> failed;
};

void* rename_each(void* work) {
  renames& r = *static_cast<renames*>(work);
  if (r.staging != nullptr && r.staging->publish()) {
    for (atomic_file* file : r.files) file->moved_with_folder();
    return nullptr;
  }
  // Something came to stand at the folder meanwhile, such as another folder of the run given
  // under another name: the files go into it one by one.
  for (atomic_file* file : r.files) {
    if (!file->publish()) r.failed.push_back(file->target() + " could not be renamed into place");
  }
  if (r.staging != nullptr) r.staging->discard();
  return nullptr;
}

// Renames every completed file over its target at once, and none after a signal; a rename that
// fails adds its line. Each folder is a directory of its own, whose renames don't wait on
// another's: the first folder's reports are renamed beside the others', and the class's own
// files after all of them. The lines come in that order whatever the timing.
bool publish(class_session& s) {
  std::vector<renames> steps(s.setup.folders.size() + 1);
  for (std::size_t f = 0; f < s.setup.folders.size(); ++f) {
    steps[f].files = completed_reports(s, f);
    steps[f].staging = s.setup.folders[f].staging.get();
  }
  steps.back().files = completed_class_files(s);
  const bool published = publish_unless_sealed([&] {
    helper_thread beside;
    const bool apart = steps.size() > 2 && beside.start(rename_each, &steps.front());
    for (std::size_t i = apart ? 1 : 0; i + 1 < steps.size(); ++i) rename_each(&steps[i]);
    beside.join();
    rename_each(&steps.back());
  });
  bool renamed = true;
  for (const renames& step : steps) {
    s.failures.insert(s.failures.end(), step.failed.begin(), step.failed.end());
    renamed = renamed && step.failed.empty();
  }
  return published && renamed;
}

void* sync_folders(void* work) {
  early_sync_work& early = *static_cast<early_sync_work*>(work);
  sync_file_systems(early.folders);
  early.running.store(false);
  return nullptr;
}

}  // namespace

void sync_ahead(class_session& s, std::size_t printed) {
  // Each sync costs a commit of the file system's journal: a few per class, not one per file.
  constexpr std::size_t sync_step = 256;
  early_sync_work& early = s.early_sync_of;
  if (s.setup.folders.empty() || printed == 0 || printed % sync_step != 0) return;
  if (early.running.load()) return;  // the one before is still at it
  if (early.folders.empty()) {
    for (const folder_reports& folder : s.setup.folders) {
      early.folders.push_back(folder.staging ? folder.staging->path() : folder.folder);
    }
  }
  early.running.store(true);
  // The one before has ended: start joins it at once.
  if (!s.early_sync.start(sync_folders, &early)) early.running.store(false);
}

std::vector<guarded_file> files_of(const class_session& s) {
  // The answer file comes first, so that a clash names the file read: "Input File x is the
  // answer file y".
  std::vector<guarded_file> files;
  if (!s.cl->no_answer_file) files.push_back({"Answer File", s.cl->answer_file, true});
  // With --variant-dir there is no one input; the variants are read, never written.
  if (!s.cl->request.input_path.empty()) {
    files.push_back({"Input File", s.cl->request.input_path, false});
  }
  const auto add = [&](const std::vector<std::string>& paths, std::string_view role, bool written) {
    std::transform(paths.begin(), paths.end(), std::back_inserter(files),
                   [&](const std::string& path) {
                     return guarded_file{std::string(role), path, written};
                   });
  };
  for (const class_submission& submission : s.setup.submissions) {
    // A listed entry that is not a regular file is never opened, so it can clash with nothing.
    if (submission.regular) files.push_back({"Output File", submission.path, false});
  }
  // Known once the roster is read: the guard is asked again then, before anything is written.
  add(s.variants.paths, "Variant", false);
  files.push_back({"Gradebook", s.cl->gradebook, true});
  if (!s.cl->roster.empty()) files.push_back({"Roster", s.cl->roster, false});
  if (!s.cl->lms_csv.empty()) files.push_back({"LMS CSV", s.cl->lms_csv, true});
  for (const folder_reports& folder : s.setup.folders) {
    const class_folder_kind& kind = *folder.kind->class_folder;
    add(folder.paths, folder.kind->role, true);
    files.push_back({std::string(kind.index_role), joined(folder.folder, kind.index_name), true});
  }
  return files;
}

std::vector<own_file> own_files_of(const command_line& cl) {
  // With a roster a listed folder is the class's downloads, so the gradebook and the LMS CSV
  // found there are submissions they would overwrite: listed, the same-file guard refuses them.
  std::vector<own_file> own;
  if (!cl.request.input_path.empty()) own.push_back({"the input file", cl.request.input_path});
  if (cl.roster.empty()) own.push_back({"the gradebook", cl.gradebook});
  if (!cl.no_answer_file) own.push_back({"the answer file", cl.answer_file});
  if (!cl.roster.empty()) own.push_back({"the roster", cl.roster});
  for (const report_kind* kind : class_report_kinds(cl)) {
    const class_folder_kind& folder = *kind->class_folder;
    own.push_back({std::string(folder.index_own), joined(cl.*folder.folder, folder.index_name)});
  }
  return own;
}

std::vector<report_folder> report_folders_of(const command_line& cl) {
  std::vector<report_folder> folders;
  for (const report_kind* kind : class_report_kinds(cl)) {
    const class_folder_kind& folder = *kind->class_folder;
    folders.push_back({cl.*folder.folder, std::string(folder.extension)});
  }
  return folders;
}

namespace {

// Whether a report folder that does not exist yet may be staged (staging_folder): not while one
// of the run's own files lies in a folder that does not exist either, which might be that one
// under another name, since the file is opened before the folder is renamed into place. A folder
// of the run's other reports needs no care: its files go into this one one by one.
bool may_stage_folders(const command_line& cl) {
  std::vector<std::string> own{cl.gradebook};
  if (!cl.no_answer_file) own.push_back(cl.answer_file);
  if (!cl.lms_csv.empty()) own.push_back(cl.lms_csv);
  return std::all_of(own.begin(), own.end(), [](const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() || is_folder(folder);
  });
}

bool stage_folder(folder_reports& folder) {
  const std::filesystem::path parent = std::filesystem::path(folder.folder).parent_path();
  if (!parent.empty() && !make_folder(parent.string())) return false;
  auto staging = std::make_unique<staging_folder>();
  if (!staging->open(folder.folder)) return false;
  folder.staging = std::move(staging);
  return true;
}

}  // namespace

failure open_outputs(class_session& s) {
  const command_line& cl = *s.cl;
  const bool may_stage = may_stage_folders(cl);
  for (folder_reports& folder : s.setup.folders) {
    if (may_stage && stage_folder(folder)) continue;
    if (make_folder(folder.folder)) continue;
    const std::string role(folder.kind->class_folder->folder_role);
    return {role + " " + folder.folder + " could not be created"};
  }
  if (!cl.no_answer_file) {
    if (!s.answer.open(cl.answer_file)) {
      s.answer_refused = true;
      return file_failure("Answer File", cl.answer_file, file_step::open);
    }
    answer_file_writer writer(s.answer.out());
    for (const case_result& record : s.cases) writer.begin_case(record);
  }
  if (!s.gradebook.open(cl.gradebook)) {
    return file_failure("Gradebook", cl.gradebook, file_step::open);
  }
  return {};
}

std::int64_t graded_lines(const std::vector<case_result>& cases) {
  return static_cast<std::int64_t>(strategy_count) *
         std::count_if(cases.begin(), cases.end(),
                       [](const case_result& record) { return record.state == case_state::built; });
}

std::size_t class_case_count(const class_session& s) {
  return s.cl->variant_dir.empty() ? s.cases.size() : s.variants.most_cases;
}

std::int64_t class_lines(const class_session& s) {
  // A variant holds only cases that are built.
  if (!s.cl->variant_dir.empty()) return 3 * static_cast<std::int64_t>(s.variants.most_cases);
  return graded_lines(s.cases);
}

int finish(class_session& s, const class_totals& totals, std::vector<submission_row>& rows) {
  int status = class_status(s, totals);
  // With report folders to sync anyway, the answer file and the gradebook wait for the same sync
  // rather than each taking one of its own.
  const bool own_syncs = s.setup.folders.empty();
  const auto fail = [&](std::string line) {
    s.failures.push_back(std::move(line));
    status = failure_status;
  };
  if (!s.failures.empty()) status = failure_status;  // a submission's report was lost
  if (!s.cl->no_answer_file) {
    if (!flush_text(s.console)) {
      s.answer.discard();  // the previous answer stays, as after a console failure in any run
    } else if (!s.answer.finish(own_syncs)) {
      fail(file_failure_line("Answer File", s.cl->answer_file, file_step::write));
    }
  }
  if (!s.gradebook.finish(own_syncs)) {
    fail(file_failure_line("Gradebook", s.cl->gradebook, file_step::write));
  }
  class_index index{&s.setup.header, s.cl->gradebook, &s.setup.input, &totals, rows, {}, 0,
                    s.lms.heading,   s.lms.notes};
  if (!write_indexes(s, index, false)) status = failure_status;
  for (const std::string& line : s.failures) put_text(s.console, shown_path(line) + "\n");
  s.failures.clear();
  if (!flush_text(s.console)) {
    const std::string lost = step_failure_line(console_name(s.console), file_step::write);
    std::fputs(("hash_checker: " + lost + "\n").c_str(), stderr);
    status = failure_status;
  }
  index.status = status;
  if (!write_indexes(s, index, true)) status = failure_status;
  if (status != failure_status && !sync_completed_files(s)) status = failure_status;
  if (status != failure_status && !publish(s)) status = failure_status;
  for (const std::string& line : s.failures) put_text(s.console, shown_path(line) + "\n");
  if (!s.failures.empty()) flush_text(s.console);
  return status;
}
