#include "app/file_guard.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <unordered_map>

#include "checker/run.h"
#include "render/atomic_file.h"

namespace {

// What makes two paths the same file: device and inode when it exists, else the normalised path,
// as one text so that a hash map can hold it.
using identity = std::string;

// The normalised absolute form of a path that doesn't exist. Most such paths are reports in one
// folder, so the folder's canonical form is worked out once and kept in `folders`.
std::string normal_form(const std::string& path,
                        std::unordered_map<std::string, std::string>& folders) {
  std::error_code ignored;
  const std::filesystem::path given(path);
  const std::filesystem::path name = given.filename();
  if (name.empty() || name == "." || name == "..") {
    return std::filesystem::weakly_canonical(std::filesystem::absolute(given, ignored), ignored)
        .lexically_normal()
        .string();
  }
  const std::string parent = given.has_parent_path() ? given.parent_path().string() : ".";
  auto [folder, added] = folders.try_emplace(parent);
  if (added) {
    folder->second =
        std::filesystem::weakly_canonical(std::filesystem::absolute(parent, ignored), ignored)
            .lexically_normal()
            .string();
  }
  // A canonical folder is already normal, and `name` holds no "/" and is no "." or "..".
  std::string normal = folder->second;
  if (!normal.ends_with('/')) normal += '/';
  return normal.append(name.string());
}

// "-" is standard output for a written file and standard input for a read one.
identity identify(const guarded_file& file, std::unordered_map<std::string, std::string>& folders) {
  const std::string& path = file.path;
  struct stat info {};
  identity id;
  const bool found =
      path == "-" ? ::fstat(file.written ? 1 : 0, &info) == 0 : ::stat(path.c_str(), &info) == 0;
  if (found) {
    id.append("i").append(std::to_string(info.st_dev)).append(":");
    return id.append(std::to_string(info.st_ino));
  }
  return id.append("p").append(normal_form(path, folders));
}

// "Input File" reads "input file" inside a sentence; a report's role keeps its capitals.
std::string in_sentence(const std::string& role) {
  if (!role.ends_with(" File")) return role;
  std::string text = role;
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string same_file_clash(const std::vector<guarded_file>& files) {
  // For each file met so far: the first file with its identity, and the first one written. A
  // written file clashes with the first of its identity, any other with the first written, so
  // this finds the same pair as comparing every two files, in one pass.
  struct first_seen {
    std::size_t any = 0;
    std::size_t written = std::string::npos;
  };
  std::unordered_map<identity, first_seen> seen;
  std::unordered_map<std::string, std::string> folders;
  seen.reserve(files.size());
  for (std::size_t j = 0; j < files.size(); ++j) {
    const auto [at, added] = seen.try_emplace(identify(files[j], folders), first_seen{j});
    first_seen& first = at->second;
    const std::size_t i = files[j].written ? first.any : first.written;
    if (!added && i != std::string::npos) {
      return files[j].role + " " + files[j].path + " is the " + in_sentence(files[i].role) + " " +
             files[i].path + "; nothing was written";
    }
    if (files[j].written && first.written == std::string::npos) first.written = j;
  }
  return "";
}

std::string unwritable_target(const std::vector<guarded_file>& files) {
  for (const guarded_file& file : files) {
    if (!file.written) continue;
    const std::string_view kind = refused_kind_text(kind_of_target(file.path));
    if (!kind.empty()) {
      return file.role + " " + file.path + " is " + std::string(kind) + "; nothing was written";
    }
  }
  return "";
}

void hint_answer_elsewhere() {
  std::fputs(
      "hash_checker: hint: write the answer file elsewhere with --answer-file=PATH, or not at "
      "all with --no-answer-file\n",
      stderr);
}

void hint_swapped_files(std::int64_t numbers) {
  const std::string hint = swapped_files_hint(numbers);
  if (!hint.empty()) std::fputs((hint + "\n").c_str(), stderr);
}

bool writes_to_standard_output(const std::vector<guarded_file>& files) {
  return std::any_of(files.begin(), files.end(), [](const guarded_file& file) {
    return file.written && kind_of_target(file.path) == target_kind::standard_output;
  });
}
