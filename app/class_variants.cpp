#include "app/class_variants.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "checker/run.h"
#include "checker/variants.h"
#include "render/class_console.h"

namespace {

// Reads and builds the variant at `path` into `cases`; what failed, if anything. A variant the
// program wrote holds only cases that are built, so anything else is a variant damaged since.
failure read_variant(const std::string& path, std::vector<case_result>& cases,
                     run_summary& totals) {
  run_request request;
  request.answer_only = true;
  request.input_path = path;
  run_files files;
  failure unread{start_run(request, files)};
  if (unread.failed()) return unread;
  read_all_cases(files, cases, totals);
  if (!totals.error.empty()) return {totals.error};
  if (totals.ended_early) return {totals.ended_message};
  const auto unbuilt = std::find_if(cases.begin(), cases.end(), [](const case_result& record) {
    return record.state != case_state::built;
  });
  return unbuilt == cases.end() ? failure{} : failure{unbuilt->message};
}

// The submission's file, up to `limit` bytes, opened as grading opened it: a regular file alone,
// without waiting and, for an entry of a listed folder, without following a link unless asked.
// False when it is no regular file, can't be read or is longer.
bool read_bounded(const std::string& path, bool no_links, std::size_t limit, std::string& text) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (no_links ? O_NOFOLLOW : 0);
  const int descriptor = ::open(path.c_str(), flags);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  if (descriptor < 0) return false;
  struct stat info {};
  bool read_whole = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) &&
                    static_cast<std::size_t>(info.st_size) <= limit;
  text.assign(read_whole ? static_cast<std::size_t>(info.st_size) + 1 : 0, '\0');
  std::size_t got = 0;
  while (read_whole && got < text.size()) {
    const ssize_t step = ::read(descriptor, text.data() + got, text.size() - got);
    if (step <= 0) {
      read_whole = step == 0;
      break;
    }
    got += static_cast<std::size_t>(step);
  }
  ::close(descriptor);
  text.resize(got);
  return read_whole && got <= limit;
}

// Reads the variant of every student on the roster that has one, so that a submission can be
// graded against its own and a copy of anyone's answer be found; per student, the index of their
// input or -1.
failure read_every_variant(const command_line& cl, const lms_roster& roster,
                           class_variants& variants, std::vector<std::int64_t>& input_of_student) {
  input_of_student.assign(roster.students.size(), -1);
  for (std::size_t s = 0; s < roster.students.size(); ++s) {
    const std::string path =
        joined(cl.variant_dir, variant_file_name(roster.kind, roster.students[s].id));
    std::error_code missing;
    const auto kind = std::filesystem::symlink_status(path, missing).type();
    if (kind == std::filesystem::file_type::not_found) continue;
    if (kind != std::filesystem::file_type::regular) {
      return {"Variant " + path + " open failed: not a regular file"};
    }
    std::vector<case_result> cases;
    run_summary totals;
    failure unread = read_variant(path, cases, totals);
    if (unread.failed()) return unread;
    input_of_student[s] = static_cast<std::int64_t>(variants.inputs.size());
    add_answer(variants.book, s, cases);
    variants.most_cases = std::max(variants.most_cases, cases.size());
    variants.inputs.push_back(std::move(cases));
    variants.totals.push_back(std::move(totals));
    variants.owners.push_back(s);
    variants.paths.push_back(path);
  }
  return {};
}

}  // namespace

failure read_class_variants(const command_line& cl, const lms_grades& lms, class_setup& setup,
                            class_variants& variants) {
  std::vector<std::int64_t> input_of_student;
  failure unread = read_every_variant(cl, lms.roster, variants, input_of_student);
  if (unread.failed()) return unread;
  // The inputs are all read now, so the spans into them stay put.
  const std::size_t count = setup.submissions.size();
  setup.input_paths.assign(count, "");
  setup.input_cases.assign(count, {});
  setup.input_totals.assign(count, &setup.input);
  variants.copies.assign(count, "");
  for (std::size_t i = 0; i < count; ++i) {
    class_submission& submission = setup.submissions[i];
    if (!submission.pick_note.empty()) continue;  // not graded already
    const std::int64_t student = i < lms.match.student_of.size() ? lms.match.student_of[i] : -1;
    const std::int64_t input =
        student < 0 ? -1 : input_of_student[static_cast<std::size_t>(student)];
    if (input < 0) {
      submission.held = student < 0 ? submission_state::no_student : submission_state::no_variant;
      submission.pick_note = std::string(state_text(submission.held));
      continue;
    }
    const auto at = static_cast<std::size_t>(input);
    setup.input_paths[i] = variants.paths[at];
    setup.input_cases[i] = variants.inputs[at];
    setup.input_totals[i] = &variants.totals[at];
  }
  return {};
}

void check_copy(const class_setup& setup, const lms_grades& lms, std::size_t index,
                const submission_row& row, class_variants& variants) {
  if (row.state != submission_state::graded || row.right == row.all) return;
  const std::int64_t own = lms.match.student_of[index];
  const class_submission& submission = setup.submissions[index];
  std::string text;
  if (!read_bounded(setup.paths[index], submission.listed && !setup.follow_links,
                    answer_read_limit(variants.book), text)) {
    return;
  }
  for (const std::size_t owner : answer_owners(variants.book, text)) {
    if (static_cast<std::int64_t>(owner) == own) continue;
    variants.copies[index] = "matches the answer of student " + lms.roster.students[owner].id;
    return;
  }
}

void put_copies(text_out& console, const class_setup& setup, const class_variants& variants) {
  const auto count = static_cast<std::size_t>(
      std::count_if(variants.copies.begin(), variants.copies.end(),
                    [](const std::string& copy) { return !copy.empty(); }));
  if (count == 0) return;
  put_text(console, "\nanswers  " + std::to_string(count) +
                        (count == 1 ? " submission holds" : " submissions hold") +
                        " another student's answer exactly\n");
  for (std::size_t i = 0; i < variants.copies.size(); ++i) {
    if (variants.copies[i].empty()) continue;
    put_text(console, "  " + shown_path(setup.paths[i]) + ": " + variants.copies[i] + "\n");
  }
}
