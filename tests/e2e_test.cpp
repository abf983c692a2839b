// Runs the built checker in a fresh folder for every case folder under e2e/ and compares its whole
// transcript, the files it leaves and its exit status byte for byte.
//
// A case folder holds the files to copy into the run's folder, and:
//   args            the command line after the program's name, as shell words (optional)
//   setup           shell commands run in the run's folder before the checker (optional)
//   stdin           what standard input holds (optional; empty otherwise)
//   redirects       shell redirections that replace the default `</dev/null >.stdout 2>.stderr`
//   prefix          shell words put before the program, such as a `ulimit` wrapper (optional)
//   unsanitized     marker: run only in a build without sanitizers (they can't run under ulimit)
//   own_options     marker: the case is about the command line itself, so it is not run again
//                   with report options added
//   expected_stderr what standard error holds afterwards (optional; not compared otherwise)
//   expected_status the exit status
//   expected_stdout the whole transcript
//   expected_<name> what file <name> of the run's folder must hold afterwards
//   absent          names of files that must not exist afterwards, one a line (optional)
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/without_times.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The case folders; with `reports_apply`, only those that may be run again with the reports
// added: not a case about the command line itself, nor one under a resource limit (a report
// may not fit under it).
std::vector<std::string> case_names(bool reports_apply = false) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(E2E_CASES_DIR)) {
    if (!entry.is_directory()) continue;
    const fs::path& dir = entry.path();
    if (reports_apply && (fs::exists(dir / "own_options") || fs::exists(dir / "unsanitized") ||
                          fs::exists(dir / "prefix"))) {
      continue;
    }
    names.push_back(dir.filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `command`; its exit status, and what it printed in `printed`.
int run_printing(const std::string& command, std::string& printed) {
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    printed.append(buffer, got);
  }
  return ::pclose(pipe);
}

bool is_case_control_file(const std::string& name) {
  return name == "args" || name == "setup" || name == "stdin" || name == "absent" ||
         name == "redirects" || name == "prefix" || name == "unsanitized" ||
         name == "own_options" || name.rfind("expected_", 0) == 0;
}

fs::path fresh_folder(const std::string& name) {
  fs::path folder =
      fs::temp_directory_path() / ("hash_checker_e2e_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string control(const fs::path& case_dir, const std::string& name,
                    const std::string& fallback) {
  return fs::exists(case_dir / name) ? trimmed(slurp(case_dir / name)) : fallback;
}

std::string run_command(const fs::path& case_dir, const fs::path& run_dir,
                        const std::string& options) {
  std::string command = "cd '" + run_dir.string() + "' && ";
  if (fs::exists(case_dir / "setup")) command += "sh '" + (case_dir / "setup").string() + "' && ";
  command += control(case_dir, "prefix", "") + " '" HASH_CHECKER_BINARY "' ";
  command += control(case_dir, "args", "") + " " + options + " ";
  const std::string input =
      fs::exists(case_dir / "stdin") ? (case_dir / "stdin").string() : "/dev/null";
  return command + control(case_dir, "redirects", "<'" + input + "' >.stdout 2>.stderr");
}

// Runs the case in `run_dir` with `options` after its arguments; returns what std::system gives.
int run_case(const fs::path& case_dir, const fs::path& run_dir, const std::string& options) {
  for (const auto& entry : fs::directory_iterator(case_dir)) {
    const std::string name = entry.path().filename().string();
    if (!is_case_control_file(name))
      fs::copy(entry.path(), run_dir / name, fs::copy_options::recursive);
  }
  return std::system(run_command(case_dir, run_dir, options).c_str());
}

class e2e : public testing::TestWithParam<std::string> {};

TEST_P(e2e, transcript_files_and_status_match) {
  const fs::path case_dir = fs::path(E2E_CASES_DIR) / GetParam();
#ifdef HASH_CHECKER_SANITIZED
  if (fs::exists(case_dir / "unsanitized")) {
    GTEST_SKIP() << "skipped under sanitizers: their reserved address space exceeds the case's "
                    "memory limit (ulimit -v); run it in a build without sanitizers";
  }
#endif
  const fs::path run_dir = fresh_folder(GetParam());
  const int raw = run_case(case_dir, run_dir, "");
  // The shell reports a program killed by signal N as status 128 + N.
  ASSERT_TRUE(WIFEXITED(raw) && (WEXITSTATUS(raw) <= 128 || WEXITSTATUS(raw) == 255))
      << "killed by a signal: " << raw;
  EXPECT_EQ(std::to_string(WEXITSTATUS(raw)), trimmed(slurp(case_dir / "expected_status")));
  EXPECT_EQ(slurp(run_dir / ".stdout"), slurp(case_dir / "expected_stdout"));
  if (fs::exists(case_dir / "expected_stderr")) {
    EXPECT_EQ(slurp(run_dir / ".stderr"), slurp(case_dir / "expected_stderr"));
  }
  for (const auto& entry : fs::directory_iterator(case_dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("expected_", 0) != 0 || name == "expected_status" || name == "expected_stdout" ||
        name == "expected_stderr")
      continue;
    const fs::path produced = run_dir / name.substr(9);
    EXPECT_TRUE(fs::exists(produced)) << produced;
    EXPECT_EQ(without_times(slurp(produced)), without_times(slurp(entry.path()))) << produced;
  }
  std::istringstream absent(fs::exists(case_dir / "absent") ? slurp(case_dir / "absent") : "");
  for (std::string name; std::getline(absent, name);) {
    if (!name.empty()) {
      EXPECT_FALSE(fs::exists(run_dir / name)) << name;
    }
  }
  // Temporary files are hidden; only the harness's own may be left.
  for (const auto& entry : fs::directory_iterator(run_dir)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name[0] != '.' || name == ".stdout" || name == ".stderr" || name == ".status")
        << "left behind: " << name;
  }
  fs::permissions(run_dir, fs::perms::owner_all, fs::perm_options::add);
  fs::remove_all(run_dir);
}

// The same case with all three reports asked for: the transcript and the status don't change by
// a byte, and every report that a run writes reads back under independent parsers. A run refused
// before anything is written, or one under a file size or memory limit, may leave none.
class e2e_reports : public testing::TestWithParam<std::string> {};

TEST_P(e2e_reports, read_back_and_change_nothing_else) {
  const fs::path case_dir = fs::path(E2E_CASES_DIR) / GetParam();
  const fs::path run_dir = fresh_folder(GetParam());
  const fs::path reports = fresh_folder(GetParam() + "_reports");
  const std::string json = (reports / "report.json").string();
  const std::string gradescope = (reports / "results.json").string();
  const std::string junit = (reports / "junit.xml").string();
  const std::string classroom = (reports / "classroom.json").string();
  const std::string prairielearn = (reports / "pl_results.json").string();
  const int raw = run_case(case_dir, run_dir,
                           "'--json=" + json + "' '--gradescope=" + gradescope +
                               "' '--junit=" + junit + "' '--github-classroom=" + classroom +
                               "' '--prairielearn=" + prairielearn + "'");
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(std::to_string(WEXITSTATUS(raw)), trimmed(slurp(case_dir / "expected_status")));
  const std::string transcript = slurp(run_dir / ".stdout");
  EXPECT_EQ(transcript, slurp(case_dir / "expected_stdout"));
  if (transcript.find("nothing was written") != std::string::npos) {
    EXPECT_FALSE(fs::exists(json) || fs::exists(gradescope) || fs::exists(junit) ||
                 fs::exists(classroom) || fs::exists(prairielearn));
  } else {
    const std::string check =
        "'" REPORT_PYTHON "' '" CHECK_REPORTS_SCRIPT "' --schema '" REPORT_SCHEMA "' --json '" +
        json + "' --gradescope '" + gradescope + "' --junit '" + junit + "' --github-classroom '" +
        classroom + "' --prairielearn '" + prairielearn + "'";
    std::string printed;
    const int checked = run_printing(check, printed);
    // The script names the missing Debian package.
    if (WIFEXITED(checked) && WEXITSTATUS(checked) == 77) GTEST_SKIP() << printed;
    EXPECT_TRUE(WIFEXITED(checked) && WEXITSTATUS(checked) == 0)
        << "reports in " << reports << ":\n"
        << printed;
  }
  fs::permissions(run_dir, fs::perms::owner_all, fs::perm_options::add);
  fs::remove_all(run_dir);
  fs::remove_all(reports);
}

INSTANTIATE_TEST_SUITE_P(cases, e2e, testing::ValuesIn(case_names()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });
INSTANTIATE_TEST_SUITE_P(cases, e2e_reports, testing::ValuesIn(case_names(true)),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
