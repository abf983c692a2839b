#include "checker/variants.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <unordered_map>

#include "checker/input_generator.h"

namespace {

bool plain_name_byte(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  const bool digit = c >= '0' && c <= '9';
  const bool mark = c == '_' || (!first && (c == '-' || c == '.' || c == '@'));
  return letter || digit || mark;
}

// Seeds tried after a student's own, should the search find nothing from it.
constexpr std::uint64_t seeds_tried = 8;

}  // namespace

std::string variant_file_name(lms_kind kind, std::string_view id) {
  constexpr std::string_view hex = "0123456789ABCDEF";
  std::string name = kind == lms_kind::moodle ? "participant-" : "";
  for (const char c : id) {
    if (plain_name_byte(c, name.empty())) {
      name += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    name += '%';
    name += hex[byte >> 4U];
    name += hex[byte & 0xfU];
  }
  return name + ".txt";
}

std::uint64_t variant_seed(std::uint64_t course_seed, std::string_view name) {
  // FNV-1a over the name, then mixed with the course seed: no other student's name takes part.
  const std::uint64_t hash =
      std::accumulate(name.begin(), name.end(), std::uint64_t{0xcbf29ce484222325ULL},
                      [](std::uint64_t sum, char c) {
                        return (sum ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
                      });
  return mix_seed(mix_seed(course_seed) ^ hash) >> 1U;
}

student_variant make_variant(std::uint64_t seed, std::int64_t max_size, std::int64_t least_cases) {
  student_variant made;
  for (std::uint64_t tried = 0; tried < seeds_tried; ++tried) {
    made.seed = (seed + tried) & (~std::uint64_t{0} >> 1U);
    generated_input generated = generate_input(made.seed, max_size, least_cases);
    made.refusal = std::move(generated.refusal);
    made.cases = std::move(generated.cases);
    if (made.refusal.empty() || generated.too_small) return made;
  }
  return made;
}

namespace {

bool variant_name_byte(char c) { return plain_name_byte(c, false) || c == '%'; }

// The text `text` begins with, for a message: at most 40 bytes, control bytes as "\xHH".
std::string beginning(std::string_view text) {
  constexpr std::string_view hex = "0123456789abcdef";
  std::string shown;
  for (const char c : text.substr(0, 40)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      shown += c;
      continue;
    }
    shown += "\\x";
    shown += hex[byte >> 4U];
    shown += hex[byte & 0xfU];
  }
  return "\"" + shown + (text.size() > 40 ? "...\"" : "\"");
}

// The file field of a row, the third field from its end; empty when the row's last three fields
// are not a variant's file name, a seed and an audit.
std::string_view file_field(std::string_view line) {
  const std::size_t audit = line.rfind(',');
  if (audit == std::string_view::npos || audit == 0) return {};
  const std::size_t seed = line.rfind(',', audit - 1);
  if (seed == std::string_view::npos || seed == 0) return {};
  const std::size_t file = line.rfind(',', seed - 1);
  const std::size_t start = file == std::string_view::npos ? 0 : file + 1;
  const std::string_view name = line.substr(start, seed - start);
  const std::string_view digits = line.substr(seed + 1, audit - seed - 1);
  const bool name_ok = name.ends_with(".txt") && name.size() > 4 &&
                       std::all_of(name.begin(), name.end(), variant_name_byte);
  const bool seed_ok =
      !digits.empty() && digits.size() <= 19 &&
      std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  return name_ok && seed_ok && audit + 1 < line.size() ? name : std::string_view{};
}

}  // namespace

std::string parse_variant_list(std::string_view text, const std::string& path,
                               std::string_view header, variant_list& list) {
  list = {};
  const std::string named = "Variants list " + path;
  if (text.size() > variant_list_bytes) {
    return named + ": longer than " + std::to_string(variant_list_bytes >> 20U) + " MiB";
  }
  std::int64_t number = 0;
  std::unordered_map<std::string_view, std::int64_t> seen;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::string at = named + " line " + std::to_string(++number) + ": ";
    if (number == 1) {
      if (line != header) return at + "not the header of a variants list, but " + beginning(line);
      continue;
    }
    const std::string_view file = file_field(line);
    if (file.empty()) return at + "not a row of a variants list, beginning " + beginning(line);
    const auto [first, fresh] = seen.try_emplace(file, number);
    if (!fresh) {
      return at + "the file " + beginning(file) + " was listed before, on line " +
             std::to_string(first->second);
    }
    list.lines.emplace_back(line);
    list.files.emplace_back(file);
  }
  if (number == 0) return named + " line 1: no header; the file is empty";
  return "";
}

std::string read_variant_list(const std::string& path, std::string_view header,
                              variant_list& list) {
  // A FIFO or a device would block or never end: only a regular file is opened.
  std::error_code failed;
  if (!std::filesystem::is_regular_file(path, failed)) {
    return "Variants list " + path + " open failed: not a regular file";
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             std::fclose);
  if (!file) return "Variants list " + path + " open failed";
  std::string text;
  std::vector<char> block(std::size_t{1} << 16);
  for (std::size_t got = 0; (got = std::fread(block.data(), 1, block.size(), file.get())) > 0;) {
    text.append(block.data(), got);
    if (text.size() > variant_list_bytes) break;
  }
  if (std::ferror(file.get()) != 0) return "Variants list " + path + " read failed";
  return parse_variant_list(text, path, header, list);
}
