#include "app/file_guard.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace {

// What makes two paths the same file: device and inode when it exists, else the normalised path.
struct identity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string normal;
  bool operator==(const identity& other) const {
    if (exists != other.exists) return false;
    return exists ? device == other.device && inode == other.inode : normal == other.normal;
  }
};

identity identify(const std::string& path) {
  identity id;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    id.exists = true;
    id.device = info.st_dev;
    id.inode = info.st_ino;
    return id;
  }
  std::error_code ignored;
  id.normal = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ignored), ignored)
                  .lexically_normal()
                  .string();
  return id;
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
  std::vector<identity> ids;
  ids.reserve(files.size());
  std::transform(files.begin(), files.end(), std::back_inserter(ids),
                 [](const guarded_file& file) { return identify(file.path); });
  for (std::size_t j = 1; j < files.size(); ++j) {
    for (std::size_t i = 0; i < j; ++i) {
      if (!(files[i].written || files[j].written) || !(ids[i] == ids[j])) continue;
      return files[j].role + " " + files[j].path + " is the " + in_sentence(files[i].role) + " " +
             files[i].path + "; nothing was written";
    }
  }
  return "";
}
