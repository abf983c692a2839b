#include "app/gradebook.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <numeric>
#include <span>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "app/file_guard.h"
#include "app/lms_grades.h"
#include "app/report_factory.h"
#include "checker/gradebook.h"
#include "checker/grading.h"
#include "checker/run.h"
#include "hashing/program_limits.h"
#include "hashing/thread_start.h"
#include "render/answer_file_writer.h"
#include "render/atomic_file.h"
#include "render/class_console.h"
#include "render/class_html.h"
#include "render/class_json.h"
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
constexpr std::string_view class_report_name = "class.json";
constexpr std::string_view class_page_name = "index.html";

std::string joined(const std::string& folder, std::string_view name) {
  return folder.ends_with('/') ? folder + std::string(name) : folder + "/" + std::string(name);
}

bool is_folder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The names of `folder`'s entries but "." and "..", in bytewise order; false when it can't be
// listed.
bool entry_names(const std::string& folder, std::vector<std::string>& names) {
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
  if (!listing) return false;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  return true;
}

// An existing file as the kernel knows it, whatever its names.
struct file_id {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const file_id& other) const = default;
};

struct file_id_hash {
  std::size_t operator()(const file_id& id) const {
    return std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(id.inode) * 0x9e3779b97f4a7c15U ^
                                      static_cast<std::uint64_t>(id.device));
  }
};

// What a listing checks each entry against: the run's own files by identity, and the folders
// it writes reports into.
struct listing_rules {
  bool follow_links = false;
  folder_picking picking;
  std::unordered_map<file_id, std::string, file_id_hash> own;   // identity -> role
  std::vector<std::pair<file_id, std::string>> report_folders;  // identity, extension
};

listing_rules rules_for(bool follow_links, const std::vector<own_file>& own,
                        const std::vector<report_folder>& report_folders) {
  listing_rules rules;
  rules.follow_links = follow_links;
  struct stat info {};
  for (const own_file& file : own) {
    if (::stat(file.path.c_str(), &info) == 0) {
      rules.own.try_emplace(file_id{info.st_dev, info.st_ino}, file.role);
    }
  }
  for (const report_folder& folder : report_folders) {
    if (::stat(folder.path.c_str(), &info) == 0) {
      rules.report_folders.emplace_back(file_id{info.st_dev, info.st_ino}, folder.extension);
    }
  }
  return rules;
}

// An entry as a listing sees it: lstat, or stat when links are followed and this one leads
// somewhere. False when it can't be looked at.
bool look_at(const std::string& path, bool follow_links, struct stat& info) {
  if (::lstat(path.c_str(), &info) != 0) return false;
  struct stat target {};
  if (follow_links && S_ISLNK(info.st_mode) && ::stat(path.c_str(), &target) == 0) info = target;
  return true;
}

// Why the entry with `info` of a folder with identity `folder` is left out, or an empty text.
std::string left_out_because(const listing_rules& rules, const file_id& folder,
                             const std::string& name, const struct stat& info) {
  const auto own = rules.own.find(file_id{info.st_dev, info.st_ino});
  if (own != rules.own.end()) return "it is " + own->second;
  for (const auto& [id, extension] : rules.report_folders) {
    if (id == folder && name.ends_with(extension)) return "it is a report of this run";
  }
  return "";
}

class submission_lister {
 public:
  explicit submission_lister(listing_rules rules) : rules_(std::move(rules)) {}

  // Adds the entries of `folder`; false when it can't be listed.
  bool add_folder(const std::string& folder) {
    std::vector<std::string> names;
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !entry_names(folder, names)) return false;
    const file_id id{info.st_dev, info.st_ino};
    for (const std::string& name : names) add_entry(id, folder, name, 0);
    return true;
  }

  void add_given(const std::string& path) {
    listing_.submissions.push_back({path, path, false, true, ""});
  }

  class_listing take() { return std::move(listing_); }

 private:
  // `depth` 1 is an entry of a per-student subfolder, named after that subfolder.
  void add_entry(const file_id& folder, const std::string& folder_path, const std::string& name,
                 int depth) {
    const std::string path = joined(folder_path, name);
    struct stat info {};
    if (!look_at(path, rules_.follow_links, info)) {
      listing_.submissions.push_back({path, depth == 0 ? path : folder_path, true, false, ""});
      return;
    }
    const std::string why = left_out_because(rules_, folder, name, info);
    if (!why.empty()) {
      listing_.skipped.push_back("hash_checker: left out " + path + ": " + why);
      ++listing_.left_out;
      return;
    }
    if (S_ISDIR(info.st_mode)) {
      if (depth == 0) add_subfolder(path, info);
      return;
    }
    listing_.submissions.push_back(
        {path, depth == 0 ? path : folder_path, true, S_ISREG(info.st_mode), ""});
  }

  // A subfolder holding one entry, not a folder, stands for it; any other is skipped, unless
  // picking is on: then it stands for the file it picks, or for a row saying none was.
  void add_subfolder(const std::string& path, const struct stat& info) {
    std::vector<std::string> names;
    std::string why;
    struct stat inner {};
    if (!entry_names(path, names)) {
      why = "it can't be listed";
    } else if (rules_.picking.on) {
      add_picked(path, info, names);
      return;
    } else if (names.size() != 1) {
      why = "it holds " + std::to_string(names.size()) + " entries, not one file";
    } else if (look_at(joined(path, names[0]), rules_.follow_links, inner) &&
               S_ISDIR(inner.st_mode)) {
      why = "its one entry is a folder";
    }
    if (why.empty()) {
      add_entry(file_id{info.st_dev, info.st_ino}, path, names[0], 1);
      return;
    }
    if (rules_.picking.on) {
      listing_.submissions.push_back({path, path, true, false, "not graded: " + why});
      return;
    }
    listing_.skipped.push_back("hash_checker: skipped folder " + path + ": " + why);
    ++listing_.skipped_folders;
  }

  // The file of `names` that the glob, or else the content, picks; a row saying why when not
  // exactly one is.
  void add_picked(const std::string& path, const struct stat& info,
                  const std::vector<std::string>& names) {
    std::vector<std::string> files;
    std::copy_if(names.begin(), names.end(), std::back_inserter(files),
                 [&](const std::string& name) {
                   struct stat inner {};
                   return !look_at(joined(path, name), rules_.follow_links, inner) ||
                          !S_ISDIR(inner.st_mode);
                 });
    const std::string& glob = rules_.picking.glob;
    std::vector<std::string> picked;
    for (const std::string& name : files) {
      const bool fits = glob.empty() ? files.size() == 1 ||
                                           reads_as_output(joined(path, name), rules_.follow_links)
                                     : ::fnmatch(glob.c_str(), name.c_str(), 0) == 0;
      if (fits) picked.push_back(name);
    }
    if (picked.size() == 1) {
      add_entry(file_id{info.st_dev, info.st_ino}, path, picked.front(), 1);
      return;
    }
    std::string note = "not graded: " + std::to_string(files.size()) +
                       (files.size() == 1 ? " file, " : " files, ");
    if (glob.empty()) {
      note += "none picked (use --pick=GLOB)";
    } else {
      note += (picked.empty() ? std::string("none") : std::to_string(picked.size())) +
              (picked.size() < 2 ? " matches --pick=" : " match --pick=") + glob;
    }
    listing_.submissions.push_back({path, path, true, false, note});
  }

  listing_rules rules_;
  class_listing listing_;
};

std::string last_component(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.empty() || name == "." || name == ".." ? "submission" : name;
}

// 16 hex digits of the 64-bit FNV-1a hash of `text`: the same on every machine.
std::string hash_text(std::string_view text) {
  std::uint64_t hash = std::accumulate(
      text.begin(), text.end(), std::uint64_t{0xcbf29ce484222325U}, [](std::uint64_t sum, char c) {
        return (sum ^ static_cast<unsigned char>(c)) * 0x100000001b3U;
      });
  std::string hex(16, '0');
  for (std::size_t i = hex.size(); i-- > 0; hash >>= 4) hex[i] = "0123456789abcdef"[hash & 0xf];
  return hex;
}

// At most `bytes` bytes of `text`, never ending inside a UTF-8 character.
std::string_view cut_at(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xc0U) == 0x80U) --bytes;
  return text.substr(0, bytes);
}

// `base`, `copy` ("" or "-N") and `extension`, with `base` shortened to fit longest_report_name.
std::string fitted_name(const std::string& base, const std::string& copy,
                        std::string_view extension) {
  std::string name = base;
  if (base.size() + copy.size() + extension.size() > longest_report_name) {
    const std::string mark = "~" + hash_text(base);
    name = std::string(
               cut_at(base, longest_report_name - mark.size() - copy.size() - extension.size())) +
           mark;
  }
  return name.append(copy).append(extension);
}

// "" for the first file of a name, then "-2", "-3"...
std::string copy_mark(std::int64_t copy) {
  std::string mark;
  if (copy > 1) mark.append("-").append(std::to_string(copy));
  return mark;
}

// One name per path: its last component and `extension`, made unique in order by "-2", "-3"...
// before the extension, and never `reserved`. Each component remembers the copy number to try
// next, so a class where every file has the same name is named in linear time.
std::vector<std::string> unique_names(const std::vector<std::string>& paths,
                                      std::string_view extension, std::string_view reserved) {
  std::unordered_set<std::string> taken{std::string(reserved)};
  std::unordered_map<std::string, std::int64_t> next_copy;
  std::vector<std::string> names;
  names.reserve(paths.size());
  taken.reserve(paths.size() + 1);
  for (const std::string& path : paths) {
    const std::string base = last_component(path);
    std::int64_t& copy = next_copy.try_emplace(base, 1).first->second;
    std::string name = fitted_name(base, copy_mark(copy), extension);
    while (taken.contains(name)) name = fitted_name(base, copy_mark(++copy), extension);
    ++copy;
    taken.insert(name);
    names.push_back(std::move(name));
  }
  return names;
}

// Set up before the workers start; they only read it.
struct class_setup {
  run_header header;  // version, input and answer file, for every report
  run_summary input;  // the input's case totals
  std::vector<class_submission> submissions;
  std::vector<std::string> paths;              // each submission's path
  std::vector<std::string> report_paths;       // one per path with --report-dir, none without
  std::vector<std::string> page_paths;         // one per path with --html-dir, none without
  const report_kind* report_format = nullptr;  // what is written at report_paths
  const report_kind* page_format = nullptr;    // what is written at page_paths
  const command_line* cl = nullptr;            // the reports' own options
  bool diagnose = false;
  bool explain = false;
  bool fail_on_wrong = false;
  bool follow_links = false;
  std::size_t submission_bytes = 0;         // the most that grading one submission may take
  reveal_level reveal = reveal_level::all;  // of the submissions' reports; the class's show all
};

// The most memory grading one submission against `cases` may take beyond the cases themselves
// (every worker may be grading one at once, so the run asks for this times the workers):
// for the largest case, the line read and the line judged at their longest and, when lines are
// diagnosed, the sorted keys, slot indexes and lists of the diagnosis (about 24 bytes a key).
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

// True when `bytes` can be had right now: asked of malloc, whose failure is an answer, not of
// operator new, whose failure ends the run, and given back at once for the grading to take.
bool memory_for_one(std::size_t bytes) {
  void* room = std::malloc(bytes);  // NOLINT(cppcoreguidelines-no-malloc)
  if (room == nullptr) return false;
  std::free(room);  // NOLINT(cppcoreguidelines-no-malloc)
  return true;
}

// What a worker leaves for the printing thread in a submission's slot.
struct graded_slot {
  submission_row row;
  std::string notes;           // the --explain lines, dropped once printed
  std::string report_failure;  // the line naming its report when that could not be written
  std::string page_failure;    // the same for its HTML page
  // The report and page, written whole and waiting to be renamed with the rest of the run's files.
  std::unique_ptr<atomic_file> report_file;
  std::unique_ptr<atomic_file> page_file;
};

// The workers' queue and the slots finished so far: a worker takes the next submission only
// while it is fewer than graded_ahead past the last one printed, and the printing thread waits
// here for the next slot in order.
struct finish_line {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> done;
  std::size_t next = 0;     // the next submission to grade
  std::size_t printed = 0;  // slots printed so far
};

// The next submission for a worker to grade; false when none is left.
bool take_next(finish_line& finished, std::size_t& index) {
  std::unique_lock<std::mutex> lock(finished.mutex);
  const std::size_t count = finished.done.size();
  finished.changed.wait(lock, [&] {
    return finished.next >= count || finished.next < finished.printed + graded_ahead;
  });
  if (finished.next >= count) return false;
  index = finished.next++;
  return true;
}

void mark_done(finish_line& finished, std::size_t index) {
  {
    const std::lock_guard<std::mutex> lock(finished.mutex);
    finished.done[index] = 1;
  }
  finished.changed.notify_all();
}

void wait_done(finish_line& finished, std::size_t index) {
  std::unique_lock<std::mutex> lock(finished.mutex);
  finished.changed.wait(lock, [&] { return finished.done[index] != 0; });
}

void mark_printed(finish_line& finished, std::size_t index) {
  {
    const std::lock_guard<std::mutex> lock(finished.mutex);
    finished.printed = index + 1;
  }
  finished.changed.notify_all();
}

// For the length of a class run, SIGINT, SIGTERM and SIGHUP are blocked in every thread and
// taken by one watching thread instead of a handler: it stops all creating and renaming of the
// run's files, removes every temporary file, and ends the process by the signal. A worker that
// is creating a file at that moment finishes creating it first, so none is left behind, and a
// set of files being renamed is renamed whole first, so the folder never holds half a run.
class signal_watch {
 public:
  signal_watch() {
    sigemptyset(&signals_);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, signal_number);
    blocked_ = ::pthread_sigmask(SIG_BLOCK, &signals_, &previous_) == 0;
    // Without a watching thread the handlers of remove_temporary_files_on_signals stay in charge.
    started_ = blocked_ && thread_.start(watch, this);
    if (blocked_ && !started_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  signal_watch(const signal_watch&) = delete;
  signal_watch& operator=(const signal_watch&) = delete;
  ~signal_watch() {
    if (!started_) return;
    done_.store(true);
    thread_.join();
    // A signal that came after the watch ended is delivered now, to the handlers.
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  static void* watch(void* self) {
    auto* w = static_cast<signal_watch*>(self);
    const timespec tick{0, 20'000'000};  // how long the end of the run may wait for this thread
    while (!w->done_.load()) {
      const int signal_number = ::sigtimedwait(&w->signals_, nullptr, &tick);
      if (signal_number > 0) end_by(signal_number);
    }
    return nullptr;
  }

  [[noreturn]] static void end_by(int signal_number) {
    seal_temporary_files();
    std::signal(signal_number, SIG_DFL);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, signal_number);
    ::pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
    std::raise(signal_number);
    // cppcheck-suppress unreachableCode ; raise returns when the signal is still blocked somehow
    std::_Exit(128 + signal_number);  // only if the signal did not end the process
  }

  sigset_t signals_{};
  sigset_t previous_{};
  helper_thread thread_;
  std::atomic<bool> done_{false};
  bool blocked_ = false;
  bool started_ = false;
};

// One report file of a submission, written by the worker that grades it.
struct submission_report {
  const report_kind* kind = nullptr;
  std::unique_ptr<atomic_file> file;
  std::unique_ptr<result_renderer> renderer;
};

// Begins the report of submission `index` at `target`, as a checking run of that file alone
// would; the failure line when it can't be created.
std::string open_report(const class_setup& setup, std::size_t index, const std::string& target,
                        submission_report& report) {
  const std::string role(report.kind->role);
  report.file = std::make_unique<atomic_file>();
  if (!report.file->open(target)) return role + " " + target + " open failed";
  report.renderer = make_report(*report.kind, report.file->out(), *setup.cl);
  run_header header = setup.header;
  header.output = setup.paths[index];
  header.reveal = setup.reveal;
  // Only the pages draw on it: they lie beside index.html and link back to it.
  if (!setup.page_paths.empty()) header.class_page = class_page_name;
  report.renderer->begin_run(header);
  return "";
}

// Ends a report that open_report began and completes its temporary file, which is renamed with
// the rest of the run's files at the end; the failure line when it can't be completed.
std::string close_report(const run_summary& summary, submission_report& report) {
  if (!report.renderer) return "";
  report.renderer->end_run(summary);
  report.renderer.reset();
  // Synced with the rest of its folder's files before they are renamed (sync_report_folders).
  if (report.file->finish(false)) return "";
  return std::string(report.kind->role) + " " + report.file->target() + " write failed";
}

// Grades submission `index` against the class's cases, writing its report.
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
  submission_report json{setup.report_format, {}, nullptr};
  submission_report page{setup.page_format, {}, nullptr};
  if (json.kind != nullptr && !setup.report_paths.empty()) {
    slot.report_failure = open_report(setup, index, setup.report_paths[index], json);
    if (json.renderer) renderers.push_back({json.renderer.get(), ""});
  }
  if (page.kind != nullptr && !setup.page_paths.empty()) {
    slot.page_failure = open_report(setup, index, setup.page_paths[index], page);
    if (page.renderer) renderers.push_back({page.renderer.get(), ""});
  }
  run_summary summary;
  // A submission that can't have the memory its grading may take gets its own row, and the
  // class goes on without it.
  submission_state state = submission_state::out_of_memory;
  const std::string& pick_note = setup.submissions[index].pick_note;
  if (!pick_note.empty()) {
    state = submission_state::not_picked;
    summary.error = "Output File " + request.output_path + " " + pick_note;
    slot.notes = "  " + pick_note + "\n";
  } else if (memory_for_one(setup.submission_bytes)) {
    state = grade_submission(request, cases, setup.input, renderers, summary);
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
  summary.score = score(summary.right, summary.all);
  summary.status = checking_status(summary, setup.fail_on_wrong);
  if (slot.report_failure.empty()) slot.report_failure = close_report(summary, json);
  if (slot.page_failure.empty()) slot.page_failure = close_report(summary, page);
  slot.report_file = std::move(json.file);
  slot.page_file = std::move(page.file);
  slot.row = row_of(request.output_path, state, summary, cases, tally);
  slot.row.any_separator = request.any_separator;
}

void work(const class_setup& setup, std::span<const case_result> cases,
          std::vector<graded_slot>& slots, finish_line& finished) {
  std::size_t index = 0;
  while (take_next(finished, index)) {
    grade_one(setup, cases, index, slots[index]);
    mark_done(finished, index);
  }
}

// Everything one class run holds, so that each step below reads as a line.
struct class_session {
  const command_line* cl = nullptr;
  class_setup setup;
  text_out console;
  bool color = false;
  std::vector<case_result> cases;
  std::vector<std::string> report_names;
  std::vector<std::string> page_names;
  atomic_file answer;
  bool answer_refused = false;  // the answer file could not be opened
  atomic_file gradebook;
  atomic_file class_report;  // class.json
  atomic_file class_page;    // index.html
  std::vector<graded_slot> slots;
  case_grid grid;                     // filled as each row is printed
  std::vector<std::string> failures;  // printed after the summary
  class_listing listing;              // its submissions moved into `setup`
  lms_grades lms;                     // --roster and --lms-csv
  bool lms_matched = true;            // every download went alone to one student
};

std::vector<std::string> paths_in(const std::string& folder,
                                  const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  paths.reserve(names.size());
  std::transform(names.begin(), names.end(), std::back_inserter(paths),
                 [&](const std::string& name) { return joined(folder, name); });
  return paths;
}

// Creates `folder` and its parents when missing; false when it is not a folder afterwards.
bool make_folder(const std::string& folder) {
  std::error_code failed;
  return std::filesystem::create_directories(folder, failed) || is_folder(folder);
}

std::vector<guarded_file> files_of(const class_session& s) {
  // The answer file comes first, so that a clash names the file read: "Input File x is the
  // answer file y".
  std::vector<guarded_file> files;
  if (!s.cl->no_answer_file) files.push_back({"Answer File", s.cl->answer_file, true});
  files.push_back({"Input File", s.cl->request.input_path, false});
  const auto add = [&](const std::vector<std::string>& paths, const char* role, bool written) {
    std::transform(paths.begin(), paths.end(), std::back_inserter(files),
                   [&](const std::string& path) {
                     return guarded_file{role, path, written};
                   });
  };
  for (const class_submission& submission : s.setup.submissions) {
    // A listed entry that is not a regular file is never opened, so it can clash with nothing.
    if (submission.regular) files.push_back({"Output File", submission.path, false});
  }
  files.push_back({"Gradebook", s.cl->gradebook, true});
  if (!s.cl->roster.empty()) files.push_back({"Roster", s.cl->roster, false});
  if (!s.cl->lms_csv.empty()) files.push_back({"LMS CSV", s.cl->lms_csv, true});
  add(s.setup.report_paths, "JSON report", true);
  if (!s.cl->report_dir.empty()) {
    files.push_back({"Class report", joined(s.cl->report_dir, class_report_name), true});
  }
  add(s.setup.page_paths, "HTML report", true);
  if (!s.cl->html_dir.empty()) {
    files.push_back({"Class page", joined(s.cl->html_dir, class_page_name), true});
  }
  return files;
}

std::vector<own_file> own_files_of(const command_line& cl) {
  // With a roster a listed folder is the class's downloads, so the gradebook and the LMS CSV
  // found there are submissions they would overwrite: listed, the same-file guard refuses them.
  std::vector<own_file> own{{"the input file", cl.request.input_path}};
  if (cl.roster.empty()) own.push_back({"the gradebook", cl.gradebook});
  if (!cl.no_answer_file) own.push_back({"the answer file", cl.answer_file});
  if (!cl.roster.empty()) own.push_back({"the roster", cl.roster});
  if (!cl.report_dir.empty()) {
    own.push_back({"the class report", joined(cl.report_dir, class_report_name)});
  }
  if (!cl.html_dir.empty()) {
    own.push_back({"the class page", joined(cl.html_dir, class_page_name)});
  }
  return own;
}

std::vector<report_folder> report_folders_of(const command_line& cl) {
  std::vector<report_folder> folders;
  if (!cl.report_dir.empty()) folders.push_back({cl.report_dir, ".json"});
  if (!cl.html_dir.empty()) folders.push_back({cl.html_dir, ".html"});
  return folders;
}

void prepare(class_session& s) {
  s.setup.header = {HASH_CHECKER_VERSION, false, s.cl->request.input_path, "",
                    s.cl->no_answer_file ? std::string() : s.cl->answer_file};
  s.setup.header.any_separator = s.cl->request.any_separator;
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
  s.setup.report_format = class_report_kind(&command_line::report_dir);
  s.setup.page_format = class_report_kind(&command_line::html_dir);
  if (!s.cl->report_dir.empty()) {
    s.report_names = report_names_for(named_as);
    s.setup.report_paths = paths_in(s.cl->report_dir, s.report_names);
  }
  if (!s.cl->html_dir.empty()) {
    s.page_names = page_names_for(named_as);
    s.setup.page_paths = paths_in(s.cl->html_dir, s.page_names);
  }
}

// Reads and builds every case once; the failure line, or an empty text.
std::string read_input(class_session& s) {
  run_request request;
  request.answer_only = true;
  request.input_path = s.cl->request.input_path;
  run_files files;
  std::string failure = start_run(request, files);
  if (!failure.empty()) return failure;
  hint_swapped_files(files.count_line_numbers);
  read_all_cases(files, s.cases, s.setup.input);
  return s.setup.input.error;
}

// Creates the report folder and the temporary answer file and gradebook, and writes the answer
// file whole; the failure line, or an empty text.
std::string open_outputs(class_session& s) {
  const command_line& cl = *s.cl;
  if (!cl.report_dir.empty() && !make_folder(cl.report_dir)) {
    return "Report folder " + cl.report_dir + " could not be created";
  }
  if (!cl.html_dir.empty() && !make_folder(cl.html_dir)) {
    return "Page folder " + cl.html_dir + " could not be created";
  }
  if (!cl.no_answer_file) {
    if (!s.answer.open(cl.answer_file)) {
      s.answer_refused = true;
      return "Answer File " + cl.answer_file + " open failed";
    }
    answer_file_writer writer(s.answer.out());
    for (const case_result& record : s.cases) writer.begin_case(record);
  }
  if (!s.gradebook.open(cl.gradebook)) return "Gradebook " + cl.gradebook + " open failed";
  return "";
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
  put_csv_header(s.gradebook.out(), s.cases.size(), !s.cl->roster.empty());
  s.grid.graded.assign(s.cases.size(), 0);
  s.grid.right.assign(s.cases.size(), {});
}

void print_slot(class_session& s, const roster_columns& columns, std::size_t index) {
  graded_slot& slot = s.slots[index];
  put_roster_line(s.console, columns, slot.row, s.color);
  const std::string& student = lms_note(s.lms, index);
  if (!student.empty()) put_text(s.console, "  " + shown_path(student) + "\n");
  put_text(s.console, slot.notes);
  if (s.cl->roster.empty()) {
    put_csv_row(s.gradebook.out(), slot.row);
  } else {
    const std::string text = lms_student(s.lms, index);
    put_csv_row(s.gradebook.out(), slot.row, &text);
  }
  add_to_grid(s.grid, slot.row);
  std::string().swap(slot.notes);
  // The gradebook and the grid have them now.
  std::vector<std::int8_t>().swap(slot.row.case_right);
  std::vector<std::uint8_t>().swap(slot.row.case_lines_right);
  if (!slot.report_failure.empty()) s.failures.push_back(slot.report_failure);
  if (!slot.page_failure.empty()) s.failures.push_back(slot.page_failure);
}

// What a worker thread is handed.
struct worker_job {
  const class_setup* setup = nullptr;
  std::span<const case_result> cases;  // shared by every worker, read only
  std::vector<graded_slot>* slots = nullptr;
  finish_line* finished = nullptr;
};

void* work_on(void* argument) {
  const auto* job = static_cast<const worker_job*>(argument);
  work(*job->setup, job->cases, *job->slots, *job->finished);
  return nullptr;
}

// Two workers grade while this thread prints each submission as soon as those before it are.
// Without a thread to be had, this thread grades and prints each in turn.
void grade_all(class_session& s, const roster_columns& columns) {
  const std::size_t count = s.setup.paths.size();
  s.slots.resize(count);
  finish_line finished;
  finished.done.assign(count, 0);
  const std::size_t workers = std::min(worker_count, count);
  s.setup.submission_bytes = submission_bytes_for(s.cases, s.setup.diagnose) * workers;
  std::vector<worker_job> jobs(workers);
  std::vector<helper_thread> threads(workers);
  std::size_t started = 0;
  for (std::size_t w = 0; w < workers; ++w) {
    jobs[w] = {&s.setup, s.cases, &s.slots, &finished};
    // Without a worker (none can be had) this thread grades each submission before printing it.
    if (!threads[started].start(work_on, &jobs[w])) break;
    ++started;
  }
  for (std::size_t index = 0; index < count; ++index) {
    if (started == 0) {
      grade_one(s.setup, s.cases, index, s.slots[index]);
    } else {
      wait_done(finished, index);
    }
    print_slot(s, columns, index);
    mark_printed(finished, index);
  }
  for (helper_thread& thread : threads) thread.join();
}

std::int64_t graded_lines(const std::vector<case_result>& cases) {
  return static_cast<std::int64_t>(strategy_count) *
         std::count_if(cases.begin(), cases.end(),
                       [](const case_result& record) { return record.state == case_state::built; });
}

int class_status(const class_session& s, const class_totals& totals) {
  const run_summary& input = s.setup.input;
  const bool incomplete = totals.graded < totals.submissions || totals.graded == 0 ||
                          input.refused > 0 || input.not_built > 0 || input.ended_early ||
                          !s.lms_matched;
  if (incomplete) return incomplete_status;
  // A class run that graded no line at all passed nothing.
  if (graded_lines(s.cases) == 0) {
    return s.cl->fail_on_wrong ? wrong_lines_status : incomplete_status;
  }
  return s.cl->fail_on_wrong && totals.any_wrong ? wrong_lines_status : success_status;
}

std::vector<submission_row> rows_of(std::vector<graded_slot>& slots) {
  std::vector<submission_row> rows;
  rows.reserve(slots.size());
  std::transform(slots.begin(), slots.end(), std::back_inserter(rows),
                 [](graded_slot& slot) { return std::move(slot.row); });
  return rows;
}

// class.json, written whole into its temporary file; false when it could not be.
bool write_class_report(class_session& s, const class_report& report) {
  if (!s.class_report.open(joined(s.cl->report_dir, class_report_name))) return false;
  put_class_json(s.class_report.out(), report);
  return s.class_report.finish();
}

// index.html, written whole into its temporary file; false when it could not be.
bool write_class_page(class_session& s, const class_totals& totals,
                      const std::vector<submission_row>& rows) {
  if (!s.class_page.open(joined(s.cl->html_dir, class_page_name))) return false;
  put_class_html(s.class_page.out(),
                 {s.cl->request.input_path, s.cl->gradebook, totals, rows, s.page_names},
                 {s.lms.heading, s.lms.notes});
  return s.class_page.finish();
}

// Every file of the run that was completed, in the order they are renamed: the answer file
// last, so that a new answer never stands beside an old gradebook.
std::vector<atomic_file*> completed_files(class_session& s) {
  std::vector<atomic_file*> files;
  const auto add = [&](atomic_file* file) {
    if (file != nullptr && file->finished()) files.push_back(file);
  };
  for (graded_slot& slot : s.slots) {
    add(slot.report_file.get());
    add(slot.page_file.get());
  }
  for (atomic_file* file : {&s.class_report, &s.class_page, &s.lms.file, &s.gradebook, &s.answer}) {
    add(file);
  }
  return files;
}

// The submissions' reports and pages were finished unsynced: one sync of each folder's file
// system writes them all, before any is renamed into place. A sync that fails adds its line.
bool sync_report_folders(class_session& s) {
  bool synced = true;
  for (const std::string* folder : {&s.cl->report_dir, &s.cl->html_dir}) {
    if (folder->empty() || sync_file_system(*folder)) continue;
    s.failures.push_back("Folder " + *folder + " sync failed");
    synced = false;
  }
  return synced;
}

// Renames every completed file over its target at once, and none after a signal; a rename that
// fails adds its line.
bool publish(class_session& s) {
  std::vector<std::string> failed;
  const bool published = publish_unless_sealed([&] {
    for (atomic_file* file : completed_files(s)) {
      if (!file->publish()) failed.push_back(file->target() + " could not be renamed into place");
    }
  });
  s.failures.insert(s.failures.end(), failed.begin(), failed.end());
  return published && failed.empty();
}

// Completes the answer file (only after the console took everything), the gradebook and
// index.html, ends the console, then completes class.json, so that the status it holds is the one
// the run exits with, and renames every file of the run into place together, or none of them when
// any could not be written or the console failed: the folder then holds the previous run's files,
// whole. Each failure adds its line and makes the status 255.
int finish(class_session& s, const class_totals& totals, std::vector<submission_row>& rows) {
  int status = class_status(s, totals);
  const auto fail = [&](std::string line) {
    s.failures.push_back(std::move(line));
    status = failure_status;
  };
  if (!s.failures.empty()) status = failure_status;  // a submission's report was lost
  if (!s.cl->no_answer_file) {
    if (!flush_text(s.console)) {
      s.answer.discard();  // the previous answer stays, as after a console failure in any run
    } else if (!s.answer.finish()) {
      fail("Answer File " + s.cl->answer_file + " write failed");
    }
  }
  if (!s.gradebook.finish()) fail("Gradebook " + s.cl->gradebook + " write failed");
  if (!s.cl->html_dir.empty() && !write_class_page(s, totals, rows)) {
    fail("Class page " + joined(s.cl->html_dir, class_page_name) + " write failed");
  }
  for (const std::string& line : s.failures) put_text(s.console, shown_path(line) + "\n");
  s.failures.clear();
  if (!flush_text(s.console)) {
    std::fputs(
        ("hash_checker: " + std::string(console_name(s.console)) + " write failed\n").c_str(),
        stderr);
    status = failure_status;
  }
  if (!s.cl->report_dir.empty()) {
    const class_report report{s.setup.header, s.cl->gradebook, s.setup.input, totals,
                              rows,           s.report_names,  status};
    if (!write_class_report(s, report)) {
      fail("Class report " + joined(s.cl->report_dir, class_report_name) + " write failed");
    }
  }
  if (status != failure_status && !sync_report_folders(s)) status = failure_status;
  if (status != failure_status && !publish(s)) status = failure_status;
  for (const std::string& line : s.failures) put_text(s.console, shown_path(line) + "\n");
  if (!s.failures.empty()) flush_text(s.console);
  return status;
}

// The report and page names that had to be shortened, in submission order.
std::vector<shortened_name> shortened_names(const class_session& s) {
  std::vector<shortened_name> shortened;
  for (std::size_t i = 0; i < s.setup.submissions.size(); ++i) {
    const std::string& named_as = s.setup.submissions[i].named_as;
    for (const std::vector<std::string>* names : {&s.report_names, &s.page_names}) {
      if (i < names->size() && name_was_shortened(named_as, (*names)[i])) {
        shortened.push_back({s.setup.paths[i], (*names)[i]});
      }
    }
  }
  return shortened;
}

// Prints a line that ends the run before any submission is graded.
int stop(class_session& s, const std::string& line) {
  put_text(s.console, shown_path(line) + "\n");
  flush_text(s.console);
  return failure_status;
}

}  // namespace

class_listing list_submissions(const std::vector<std::string>& given, bool follow_links,
                               const std::vector<own_file>& own,
                               const std::vector<report_folder>& report_folders,
                               const folder_picking& picking) {
  listing_rules rules = rules_for(follow_links, own, report_folders);
  rules.picking = picking;
  submission_lister lister(std::move(rules));
  for (const std::string& path : given) {
    const bool listed = is_folder(path) && lister.add_folder(path);
    if (!listed) lister.add_given(path);
  }
  return lister.take();
}

std::vector<std::string> report_names_for(const std::vector<std::string>& paths) {
  return unique_names(paths, ".json", class_report_name);
}

std::vector<std::string> page_names_for(const std::vector<std::string>& paths) {
  return unique_names(paths, ".html", class_page_name);
}

bool name_was_shortened(const std::string& path, const std::string& name) {
  return !name.starts_with(last_component(path));
}

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
    stop(s, refused);
    if (!cl.no_answer_file && !refused_kind_text(kind_of_target(cl.answer_file)).empty()) {
      hint_answer_elsewhere();
    }
    return failure_status;
  }
  std::string unread = read_input(s);
  int unread_status = failure_status;
  if (unread.empty() && !cl.roster.empty()) {
    unread_status = read_lms_roster(cl, s.lms, unread);
    s.lms_matched = match_lms_downloads(s.lms, s.setup.submissions);
  }
  if (!unread.empty()) {
    stop(s, unread);
    return unread_status;
  }
  const std::string unopened = open_outputs(s);
  if (!unopened.empty()) {
    stop(s, unopened);
    if (s.answer_refused) hint_answer_elsewhere();
    return failure_status;
  }
  const roster_columns columns = roster_columns_for(s.setup.paths, graded_lines(s.cases));
  start_roster(s, columns);
  grade_all(s, columns);
  std::vector<submission_row> rows = rows_of(s.slots);
  class_totals totals = totals_of(rows);
  totals.skipped_folders = s.listing.skipped_folders;
  totals.left_out = s.listing.left_out;
  totals.cases = std::move(s.grid);
  put_class_summary(s.console, totals, shortened_names(s));
  if (!cl.roster.empty()) {
    std::string lost = write_lms_grades(cl, s.lms, s.setup.submissions, rows, s.console);
    if (!lost.empty()) s.failures.push_back(std::move(lost));
  }
  return finish(s, totals, rows);
}

namespace {

// A line of an output file: integers separated by spaces (a trailing CR dropped).
bool integer_line(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  bool digit = false;
  for (std::size_t at = 0; at < line.size(); ++at) {
    const char c = line[at];
    const bool sign = (c == '-' || c == '+') && (at == 0 || line[at - 1] == ' ') &&
                      at + 1 < line.size() && line[at + 1] >= '0' && line[at + 1] <= '9';
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c != ' ' && !sign) {
      return false;
    }
  }
  return digit;
}

// A line no output file holds: source code's brackets, operators and quotes.
bool code_line(std::string_view line) {
  return line.find_first_of("{}()[];#<>=\"/\\") != std::string_view::npos;
}

}  // namespace

bool reads_as_output(const std::string& path, bool follow_links) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow_links ? 0 : O_NOFOLLOW);
  const int descriptor = ::open(path.c_str(), flags);
  if (descriptor < 0) return false;
  constexpr std::size_t sniffed = std::size_t{1} << 16;
  struct stat info {};
  std::string start(sniffed, '\0');
  std::size_t got = 0;
  if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
    while (got < sniffed) {
      const ssize_t n = ::read(descriptor, start.data() + got, sniffed - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
  }
  ::close(descriptor);
  std::string_view text(start.data(), got);
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);
  // Only whole lines count: a line cut at the end of what was read is left out.
  if (got == sniffed) text = text.substr(0, text.rfind('\n') + 1);
  // Output with a slip (a stray letter) still reads as output; code and prose don't.
  std::int64_t integers = 0;
  std::int64_t lines = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == text.npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.find_first_not_of(" \r") == line.npos) continue;
    if (code_line(line)) return false;
    ++lines;
    if (integer_line(line)) ++integers;
  }
  return integers > 0 && 2 * integers >= lines;
}
