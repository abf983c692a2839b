#include "app/report_names.h"

#include <cstdint>
#include <numeric>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

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

}  // namespace

std::vector<std::string> report_names_in(const std::vector<std::string>& paths,
                                         std::string_view extension, std::string_view reserved) {
  return unique_names(paths, extension, reserved);
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
