// Times what a class run does before it grades anything, at 5,000 and 20,000 submissions: listing
// the submission folder, naming the reports and pages, and the same-file guard over every file of
// the run; and naming reports when every submission has the same file name. Prints the figures.
//   class_startup_bench [COUNT...]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/file_guard.h"
#include "app/gradebook.h"

namespace fs = std::filesystem;

namespace {

double milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

void time_class(std::int64_t count, const fs::path& root) {
  fs::remove_all(root);
  fs::create_directories(root / "class");
  std::vector<std::string> same_name;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::string number = std::to_string(i);
    std::ofstream(root / "class" / std::string("s").append(number).append(".txt")) << "1\n";
    same_name.push_back(std::string("d").append(number).append("/hash_output.txt"));
  }
  const std::string answer = (root / "answer.txt").string();
  const std::string input = (root / "input.txt").string();
  const std::string csv = (root / "grades.csv").string();
  const std::clock_t cpu_start = std::clock();
  auto start = std::chrono::steady_clock::now();
  const class_listing listing = list_submissions(
      {(root / "class").string()}, false,
      {{"the input file", input}, {"the gradebook", csv}, {"the answer file", answer}},
      {{(root / "reports").string(), ".json"}, {(root / "pages").string(), ".html"}});
  const double listed = milliseconds_since(start);
  start = std::chrono::steady_clock::now();
  std::vector<std::string> paths;
  for (const class_submission& s : listing.submissions) paths.push_back(s.named_as);
  const std::vector<std::string> reports = report_names_for(paths);
  const std::vector<std::string> pages = page_names_for(paths);
  const double named = milliseconds_since(start);
  std::vector<guarded_file> files{{"Answer File", answer, true}, {"Input File", input, false}};
  for (const class_submission& s : listing.submissions) {
    files.push_back({"Output File", s.path, false});
  }
  files.push_back({"Gradebook", csv, true});
  for (const std::string& name : reports) {
    files.push_back({"JSON report", (root / "reports" / name).string(), true});
  }
  for (const std::string& name : pages) {
    files.push_back({"HTML report", (root / "pages" / name).string(), true});
  }
  start = std::chrono::steady_clock::now();
  const std::string clash = same_file_clash(files);
  const double guarded = milliseconds_since(start);
  const double cpu = 1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  start = std::chrono::steady_clock::now();
  const std::vector<std::string> same = report_names_for(same_name);
  const double same_named = milliseconds_since(start);
  std::printf(
      "%6lld submissions: list %7.1f ms  name %6.1f ms  guard %7.1f ms (%zu files)  start-up "
      "%7.1f ms (CPU %6.1f ms) | one shared name: %6.1f ms%s%s\n",
      static_cast<long long>(count), listed, named, guarded, files.size(), listed + named + guarded,
      cpu, same_named, clash.empty() ? "" : "  CLASH: ", clash.c_str());
  fs::remove_all(root);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::int64_t> counts{5000, 20000};
  if (argc > 1) counts.clear();
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoll(argv[i]));
  const fs::path root =
      fs::temp_directory_path() / ("class_startup_bench_" + std::to_string(::getpid()));
  for (const std::int64_t count : counts) time_class(count, root);
  return 0;
}
