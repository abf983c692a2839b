#include "app/class_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

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

std::string joined(const std::string& folder, std::string_view name) {
  return folder.ends_with('/') ? folder + std::string(name) : folder + "/" + std::string(name);
}

bool is_folder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

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
