#include "app/variant_tools.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/class_listing.h"
#include "app/file_guard.h"
#include "checker/audit.h"
#include "checker/roster.h"
#include "checker/variants.h"
#include "hashing/program_limits.h"
#include "hashing/thread_start.h"
#include "render/answer_file_writer.h"
#include "render/atomic_file.h"
#include "render/class_console.h"
#include "render/input_writer.h"
#include "render/text_out.h"
#include "render/variants_csv.h"

namespace {

constexpr std::string_view list_name = "variants.csv";

// One student's variant on its way to the folder.
struct planned_variant {
  std::size_t student = 0;
  std::string name;  // the file name in the folder
  student_variant made;
  std::string audit;  // "clean", or what it misses
};

// Everything one --make-variants run holds.
struct variant_session {
  const command_line* cl = nullptr;
  text_out console;
  lms_roster roster;
  std::vector<std::string> names;  // per student: the variant's file name
  std::vector<planned_variant> planned;
  variant_list list;  // with --only: the list as it stood
  std::vector<std::unique_ptr<atomic_file>> files;
  std::vector<std::string> created;  // folders this run made, removed again should it fail
  std::string refusal;               // a request that can't be met
  std::string failure;               // a file that failed
};

bool exists(const std::string& path) {
  std::error_code failed;
  return std::filesystem::symlink_status(path, failed).type() !=
         std::filesystem::file_type::not_found;
}

// The folders written into, and what each holds.
std::vector<std::pair<std::string, std::string>> folders_of(const command_line& cl) {
  std::vector<std::pair<std::string, std::string>> folders{{cl.make_variants, "--make-variants"}};
  if (!cl.answer_dir.empty()) folders.emplace_back(cl.answer_dir, "--answer-dir");
  return folders;
}

// Each student's file name; a refusal when one can't be a file's name.
void name_students(variant_session& s) {
  for (const roster_student& student : s.roster.students) {
    std::string name = variant_file_name(s.roster.kind, student.id);
    if (name.size() > longest_variant_name) {
      s.refusal = "the variant of " + student_label(s.roster, student) + " would be named by " +
                  std::to_string(name.size()) + " bytes (at most " +
                  std::to_string(longest_variant_name) + ")";
      return;
    }
    s.names.push_back(std::move(name));
  }
}

// The students to make: every one, or the one --only names (by identifier, as messages label
// them, or by file name with or without ".txt").
void choose_students(variant_session& s) {
  const std::string& only = s.cl->only;
  for (std::size_t i = 0; i < s.roster.students.size(); ++i) {
    const roster_student& student = s.roster.students[i];
    const std::string& name = s.names[i];
    const bool chosen = only.empty() || only == student.id ||
                        only == student_label(s.roster, student) || only == name ||
                        only + ".txt" == name;
    if (chosen) s.planned.push_back({i, name, {}, {}});
  }
  if (!only.empty() && s.planned.empty()) {
    s.refusal = "--only=" + shown_path(only) + ": no student of " + s.roster.path + " has it";
  }
}

// An existing folder is written into only when --only or --overwrite says so.
void check_folders(variant_session& s) {
  if (!s.cl->only.empty() || s.cl->overwrite) return;
  for (const auto& [folder, option] : folders_of(*s.cl)) {
    if (!exists(folder)) continue;
    s.refusal = "the folder " + shown_path(folder) + " (" + option + ") " +
                "exists; --overwrite writes over the variants in it, --only=ID makes one "
                "student's again";
    return;
  }
}

std::vector<guarded_file> files_of(const variant_session& s) {
  std::vector<guarded_file> files{{"Roster", s.cl->roster, false}};
  for (const planned_variant& plan : s.planned) {
    files.push_back({"Variant", joined(s.cl->make_variants, plan.name), true});
    if (!s.cl->answer_dir.empty()) {
      files.push_back({"Variant answer", joined(s.cl->answer_dir, plan.name), true});
    }
  }
  files.push_back({"Variants list", joined(s.cl->make_variants, list_name), true});
  return files;
}

std::string audit_text(const std::vector<case_result>& cases) {
  const audit_result result = audit_cases(cases, false);
  std::int64_t revealable = 0;
  std::int64_t missed = 0;
  for (const audit_verdict& verdict : result.verdicts) {
    if (!verdict.revealable) continue;
    ++revealable;
    if (!verdict.caught) ++missed;
  }
  if (audit_status(result) == 0) return "clean";
  return "misses " + std::to_string(missed) + " of " + std::to_string(revealable);
}

variant_row row_of(const variant_session& s, const planned_variant& plan) {
  const roster_student& student = s.roster.students[plan.student];
  const std::string id =
      s.roster.kind == lms_kind::moodle ? student_label(s.roster, student) : student.id;
  return {id, student.name, plan.name, plan.made.seed, plan.audit};
}

// Makes and audits the planned variants from `first` on, every `step`th.
struct making {
  variant_session* s = nullptr;
  std::size_t first = 0;
  std::size_t step = 1;
};

void* make_some(void* argument) {
  const auto* job = static_cast<const making*>(argument);
  variant_session& s = *job->s;
  for (std::size_t i = job->first; i < s.planned.size(); i += job->step) {
    planned_variant& plan = s.planned[i];
    const std::uint64_t seed = variant_seed(static_cast<std::uint64_t>(s.cl->seed), plan.name);
    plan.made = make_variant(seed, s.cl->max_size, s.cl->cases);
    if (plan.made.refusal.empty()) plan.audit = audit_text(plan.made.cases);
  }
  return nullptr;
}

// Makes every planned variant, on both cores where a helper thread can be had (each variant is
// its student's alone, so the files are the same whatever the timing); a refusal when the size
// can't catch every mistake or the search finds nothing.
void make_all(variant_session& s) {
  making odd{&s, 1, 2};
  making even{&s, 0, 2};
  helper_thread helper;
  if (!helper.start(make_some, &odd)) even.step = 1;  // this thread makes them all
  make_some(&even);
  helper.join();
  const auto refused = std::find_if(s.planned.begin(), s.planned.end(),
                                    [](const auto& plan) { return !plan.made.refusal.empty(); });
  if (refused != s.planned.end()) s.refusal = refused->made.refusal;
}

// Opens `target` for the run, writes it with `write` and completes it unsynced; false with the
// failure line.
template <class writing>
bool write_file(variant_session& s, const std::string& role, const std::string& target,
                writing write) {
  auto file = std::make_unique<atomic_file>();
  if (!file->open(target)) {
    s.failure = role + " " + target + " open failed";
    return false;
  }
  write(file->out());
  if (!file->finish(false)) {
    s.failure = role + " " + target + " write failed";
    return false;
  }
  s.files.push_back(std::move(file));
  return true;
}

bool make_folders(variant_session& s) {
  for (const auto& [folder, option] : folders_of(*s.cl)) {
    std::error_code failed;
    if (!exists(folder) && std::filesystem::create_directories(folder, failed)) {
      s.created.push_back(folder);
    }
    if (!std::filesystem::is_directory(folder, failed)) {
      s.failure = "Folder " + folder + " could not be created";
      return false;
    }
  }
  return true;
}

// The list's lines: every student's row, or with --only the list as it stood with the one
// student's row put in its place (or added after the others).
std::vector<std::string> list_lines(const variant_session& s) {
  if (s.cl->only.empty()) {
    std::vector<std::string> lines(s.planned.size());
    std::transform(s.planned.begin(), s.planned.end(), lines.begin(),
                   [&](const planned_variant& plan) { return variants_csv_row(row_of(s, plan)); });
    return lines;
  }
  std::vector<std::string> lines = s.list.lines;
  const planned_variant& plan = s.planned.front();
  std::string row = variants_csv_row(row_of(s, plan));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (s.list.files[i] != plan.name) continue;
    lines[i] = std::move(row);
    return lines;
  }
  lines.push_back(std::move(row));
  return lines;
}

bool write_all(variant_session& s) {
  if (!make_folders(s)) return false;
  for (const planned_variant& plan : s.planned) {
    const auto input = [&](text_out& out) {
      write_case_count(out, static_cast<std::int64_t>(plan.made.cases.size()));
      for (const case_result& record : plan.made.cases) write_input_case(out, record);
    };
    if (!write_file(s, "Variant", joined(s.cl->make_variants, plan.name), input)) return false;
    if (s.cl->answer_dir.empty()) continue;
    const auto answer = [&](text_out& out) {
      answer_file_writer writer(out);
      for (const case_result& record : plan.made.cases) writer.begin_case(record);
    };
    if (!write_file(s, "Variant answer", joined(s.cl->answer_dir, plan.name), answer)) {
      return false;
    }
  }
  const auto list = [&](text_out& out) {
    put_text(out, std::string(variants_csv_header) + "\r\n");
    for (const std::string& line : list_lines(s)) put_text(out, line + "\r\n");
  };
  return write_file(s, "Variants list", joined(s.cl->make_variants, list_name), list);
}

// Every file renamed into place together, after one sync of each folder's file system.
bool publish_all(variant_session& s) {
  for (const auto& [folder, option] : folders_of(*s.cl)) {
    if (sync_file_system(folder)) continue;
    s.failure = "Folder " + folder + " sync failed";
    return false;
  }
  bool renamed = true;
  const bool published = publish_unless_sealed([&] {
    for (const std::unique_ptr<atomic_file>& file : s.files) {
      if (file->publish()) continue;
      if (renamed) s.failure = file->target() + " could not be renamed into place";
      renamed = false;
    }
  });
  return published && renamed;
}

// After a failure: every temporary file removed, and the folders this run made, empty again.
void undo(const variant_session& s) {
  for (const std::unique_ptr<atomic_file>& file : s.files) file->discard();
  for (const std::string& folder : s.created) {
    std::error_code failed;
    std::filesystem::remove(folder, failed);
  }
}

int say(variant_session& s, const std::string& line, int status) {
  put_text(s.console, shown_path(line) + "\n");
  if (!flush_text(s.console)) return failure_status;
  return status;
}

int refuse(const std::string& line) {
  std::fprintf(stderr, "hash_checker: --make-variants: %s\n", shown_path(line).c_str());
  return usage_status;
}

std::string summary_line(const variant_session& s) {
  const std::size_t count = s.planned.size();
  std::string line = "Wrote " + std::to_string(count) + (count == 1 ? " variant" : " variants") +
                     " to " + s.cl->make_variants + " and its " + std::string(list_name);
  if (!s.cl->answer_dir.empty()) line += ", their answers to " + s.cl->answer_dir;
  line += " (seed " + std::to_string(s.cl->seed) + ", tables of at most " +
          std::to_string(s.cl->max_size) + " slots, at least " + std::to_string(s.cl->cases) +
          (s.cl->cases == 1 ? " case" : " cases") + " each)";
  return line;
}

}  // namespace

int run_make_variants(const command_line& cl, std::FILE* console) {
  variant_session s;
  s.cl = &cl;
  s.console.file = console;
  const roster_outcome read = read_roster(cl.roster, {}, s.roster);
  if (!read.error.empty()) return say(s, read.error, failure_status);
  name_students(s);
  if (s.refusal.empty()) choose_students(s);
  if (s.refusal.empty()) check_folders(s);
  if (!s.refusal.empty()) return refuse(s.refusal);
  const std::vector<guarded_file> files = files_of(s);
  std::string clash = same_file_clash(files);
  if (clash.empty()) clash = unwritable_target(files);
  if (!clash.empty()) return say(s, clash, failure_status);
  if (!cl.only.empty()) {
    const std::string unread =
        read_variant_list(joined(cl.make_variants, list_name), variants_csv_header, s.list);
    if (!unread.empty()) return say(s, unread, failure_status);
  }
  make_all(s);
  if (!s.refusal.empty()) return refuse(s.refusal);
  if (!write_all(s) || !publish_all(s)) {
    undo(s);
    return say(s, s.failure + "; nothing was written", failure_status);
  }
  const auto unclean =
      std::count_if(s.planned.begin(), s.planned.end(),
                    [](const planned_variant& plan) { return plan.audit != "clean"; });
  put_text(s.console, summary_line(s) + "\n");
  if (unclean == 0) return say(s, "Every variant audits clean.", success_status);
  return say(s, std::to_string(unclean) + " variants miss a mistake; see " + std::string(list_name),
             incomplete_status);
}
