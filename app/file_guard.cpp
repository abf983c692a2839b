#include "app/file_guard.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
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

std::string lower_case(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string same_file_clash(const std::vector<guarded_file>& files) {
  std::vector<identity> ids;
  ids.reserve(files.size());
  for (const guarded_file& file : files) ids.push_back(identify(file.path));
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = 0; j < files.size(); ++j) {
      if (i == j || !files[j].written || (files[i].written && j > i) || !(ids[i] == ids[j])) {
        continue;
      }
      return files[i].role + " " + files[i].path + " is the " + lower_case(files[j].role) + " " +
             files[j].path + "; nothing was written";
    }
  }
  return "";
}
