// Every report of the report table, at every reveal level, in a single run and, where the table
// gives it a class-run folder, in a class run: every byte written is searched for what the level
// hides. A report added to the table is searched without being named here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/options.h"
#include "app/report_factory.h"
#include "checker/results.h"
#include "checker/reveal.h"
#include "hashing/hash_table.h"

namespace {

namespace fs = std::filesystem;

// Two full tables of seven slots, keys of five digits that no page's style or count could
// produce. Each submitted line holds the case's first keys in input order and zeros: every line
// is Wrong, none holds an expected layout, and the second keys are never written by the student.
const key_list first_keys[] = {{31001, 31002, 31003, 31004}, {42011, 42022, 42033, 42044}};
const key_list second_keys[] = {{31015, 31022, 31030}, {42055, 42066, 42077}};
constexpr std::int32_t table_size = 7;

std::string keys_text(const key_list& keys) {
  std::string text;
  for (const key k : keys) {
    if (!text.empty()) text += ' ';
    text += std::to_string(k);
  }
  return text;
}

std::string input_text() {
  std::string text = "2\n";
  for (std::size_t c = 0; c < 2; ++c) {
    text += "7 4 3\n" + keys_text(first_keys[c]) + "\n" + keys_text(second_keys[c]) + "\n";
  }
  return text;
}

std::string submission_text() {
  std::string text;
  for (const key_list& keys : first_keys) {
    key_list line = keys;
    line.resize(table_size, 0);
    for (int strategy = 0; strategy < 3; ++strategy) text += keys_text(line) + "\n";
  }
  return text;
}

// What a student may not learn below `all`: every expected layout (all lines are Wrong) and
// every key the student never wrote.
struct secrets {
  std::vector<key_list> layouts;
  std::set<key> keys;
  std::set<key> case_keys;
};

secrets answer_key() {
  secrets s;
  for (std::size_t c = 0; c < 2; ++c) {
    const layouts built = build_layouts(table_size, first_keys[c], second_keys[c]);
    for (const strategy_id strategy : all_strategies)
      s.layouts.push_back(layout_of(built, strategy));
    s.keys.insert(second_keys[c].begin(), second_keys[c].end());
    s.case_keys.insert(first_keys[c].begin(), first_keys[c].end());
    s.case_keys.insert(second_keys[c].begin(), second_keys[c].end());
  }
  return s;
}

std::string read_all(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The numbers of `text` that are keys of the cases, in order: a layout reads the same drawn as
// table cells, a JSON array or a line of text.
std::vector<key> case_numbers(const std::string& text, const std::set<key>& case_keys) {
  std::vector<key> found;
  for (std::size_t at = 0; at < text.size();) {
    if (std::isdigit(static_cast<unsigned char>(text[at])) == 0) {
      ++at;
      continue;
    }
    const std::size_t end = text.find_first_not_of("0123456789", at);
    const std::string digits = text.substr(at, end == std::string::npos ? end : end - at);
    at = end == std::string::npos ? text.size() : end;
    if (digits.size() > 6) continue;
    const key k = std::stoi(digits);
    if (case_keys.count(k) != 0) found.push_back(k);
  }
  return found;
}

bool holds_layout(const std::vector<key>& seen, const key_list& layout) {
  return std::search(seen.begin(), seen.end(), layout.begin(), layout.end()) != seen.end();
}

// True when `text` names a Wrong verdict anywhere but in a page's style sheet, whose rules name
// every verdict whatever the page shows.
bool says_wrong(std::string text) {
  for (std::size_t at = text.find("<style>"); at != std::string::npos; at = text.find("<style>")) {
    const std::size_t end = text.find("</style>", at);
    text.erase(at, end == std::string::npos ? end : end + 8 - at);
  }
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text.find("wrong") != std::string::npos;
}

struct found_secrets {
  std::set<std::size_t> layouts;  // indices into secrets::layouts
  std::set<key> keys;
  bool verdict = false;
};

found_secrets search(const std::string& bytes, const secrets& s) {
  found_secrets found;
  const std::vector<key> seen = case_numbers(bytes, s.case_keys);
  for (std::size_t i = 0; i < s.layouts.size(); ++i) {
    if (holds_layout(seen, s.layouts[i])) found.layouts.insert(i);
  }
  for (const key k : seen) {
    if (s.keys.count(k) != 0) found.keys.insert(k);
  }
  found.verdict = says_wrong(bytes);
  return found;
}

int run(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{"hash_checker"};
  std::transform(arguments.begin(), arguments.end(), std::back_inserter(argv),
                 [](const std::string& a) { return a.c_str(); });
  std::FILE* console = std::tmpfile();
  std::FILE* keyboard = std::tmpfile();
  const int status = run_checker(static_cast<int>(argv.size()), argv.data(), console, keyboard);
  std::fclose(console);
  std::fclose(keyboard);
  return status;
}

// The option that sets `folder` in a command line, found by trying each option of the table.
std::string option_of(std::string command_line::*folder) {
  for (const option_row& row : option_table()) {
    const std::string name(row.name);
    const command_line cl = parse_command_line({name + "=probe", "in.txt", "out.txt"});
    if (cl.*folder == "probe") return name;
  }
  return "";
}

// Every byte a student may be handed by `kind` at `level`: its file in a single run, and the
// files a class run writes per submission into its folder.
std::string student_bytes(const report_kind& kind, reveal_level level, const fs::path& root) {
  const fs::path work =
      root / (std::string(kind.option.substr(2)) + "-" + std::string(reveal_key(level)));
  fs::create_directories(work / "class");
  write_file(work / "in.txt", input_text());
  write_file(work / "out.txt", submission_text());
  const std::string reveal = "--reveal=" + std::string(reveal_key(level));
  const fs::path single = work / "report";
  run({"0", (work / "in.txt").string(), (work / "out.txt").string(),
       "--answer-file=" + (work / "ans.txt").string(),
       std::string(kind.option) + "=" + single.string(), reveal});
  std::string bytes = read_all(single);
  EXPECT_FALSE(bytes.empty()) << kind.option << " " << reveal;
  if (kind.class_folder == nullptr) return bytes;
  const std::string folder_option = option_of(kind.class_folder->folder);
  EXPECT_FALSE(folder_option.empty()) << kind.option;
  for (const char* name : {"alice.txt", "bob.txt"})
    write_file(work / "class" / name, submission_text());
  const fs::path folder = work / "per_submission";
  run({"--gradebook=" + (work / "grades.csv").string(), folder_option + "=" + folder.string(),
       "--answer-file=" + (work / "class_ans.txt").string(), reveal, (work / "in.txt").string(),
       (work / "class" / "alice.txt").string(), (work / "class" / "bob.txt").string()});
  int pages = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("alice") || name.starts_with("bob")) {  // the class's own files aside
      bytes += read_all(entry.path());
      ++pages;
    }
  }
  EXPECT_EQ(pages, 2) << kind.option << " " << reveal;
  return bytes;
}

TEST(reveal, no_report_shows_what_its_level_hides) {
  const secrets s = answer_key();
  const fs::path root =
      fs::temp_directory_path() / ("reveal_reports." + std::to_string(::getpid()));
  fs::remove_all(root);
  found_secrets at_all;  // the control: what the full reports show, together
  for (const report_kind& kind : report_kinds()) {
    for (const reveal_level level :
         {reveal_level::all, reveal_level::diagnosis, reveal_level::mistake, reveal_level::verdict,
          reveal_level::score}) {
      const std::string bytes = student_bytes(kind, level, root);
      const found_secrets found = search(bytes, s);
      const std::string where = std::string(kind.option) + " at " + std::string(reveal_key(level));
      if (level == reveal_level::all) {
        EXPECT_TRUE(found.verdict) << where << ": the search sees no Wrong line";
        at_all.layouts.insert(found.layouts.begin(), found.layouts.end());
        at_all.keys.insert(found.keys.begin(), found.keys.end());
        continue;
      }
      EXPECT_TRUE(found.layouts.empty())
          << where << ": shows " << found.layouts.size() << " expected layouts";
      EXPECT_TRUE(found.keys.empty())
          << where << ": shows " << found.keys.size() << " keys the student never wrote, first "
          << (found.keys.empty() ? 0 : *found.keys.begin());
      if (level == reveal_level::score) {
        EXPECT_FALSE(found.verdict) << where << ": shows a verdict";
      }
    }
  }
  EXPECT_EQ(at_all.layouts.size(), s.layouts.size()) << "the search misses layouts at all";
  EXPECT_EQ(at_all.keys, s.keys) << "the search misses expected keys at all";
  fs::remove_all(root);
}

}  // namespace
