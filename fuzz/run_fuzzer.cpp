// Fuzz target for whole runs: the bytes become a run mode, an input file and an output file.
// Aborts, naming the property, when the status, the answer file or a rerun that grades the answer
// file against itself breaks a rule of the README.
//
// Byte 0 picks the mode (even: checking, odd: answer-only); the input file is what follows, up to
// the first "====\n"; the output file is the rest. The files live in a private folder made on the
// first call; every call enters it and returns to the caller's folder before it ends.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "app/app.h"
#include "reference/reference_key_lines.h"

namespace {

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "run_fuzzer: property broken: %s\n", property);
  std::abort();
}

struct fuzz_case {
  bool answer_only = false;
  std::string_view input;
  std::string_view output;
};

// Needs at least one byte.
fuzz_case split_fuzz_bytes(std::string_view bytes) {
  constexpr std::string_view separator = "====\n";
  fuzz_case c;
  c.answer_only = (static_cast<unsigned char>(bytes[0]) & 1U) != 0;
  const std::string_view files = bytes.substr(1);
  const std::size_t cut = files.find(separator);
  c.input = files.substr(0, cut);
  if (cut != std::string_view::npos) c.output = files.substr(cut + separator.size());
  return c;
}

// Every table a run builds has as many slots as some maximal run of digits in the input file
// spells (a key's digits never follow a digit), and sizes of 2^30 or more are never allocated.
// Capping the sum of the smaller values bounds the slots of a whole run, so no input makes a call
// slow or big, while out-of-range tokens and sizes too big to allocate still get through.
bool too_costly(std::string_view input) {
  constexpr std::uint64_t never_allocated = std::uint64_t{1} << 30;
  constexpr std::uint64_t slot_budget = std::uint64_t{1} << 16;
  std::uint64_t total = 0;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i <= input.size(); ++i) {
    if (i < input.size() && input[i] >= '0' && input[i] <= '9') {
      const auto digit = static_cast<std::uint64_t>(input[i] - '0');
      value = std::min(value * 10 + digit, never_allocated);
      continue;
    }
    if (value < never_allocated) total += value;
    value = 0;
  }
  return total > slot_budget;
}

// Plain storage, so that the removal at exit never meets a destroyed object.
char private_folder_path[4096];

void remove_private_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(private_folder_path, ignored);
}

const char* private_folder() {
  if (private_folder_path[0] != '\0') return private_folder_path;
  std::error_code error;
  const std::string pattern =
      (std::filesystem::temp_directory_path(error) / "hash_checker_fuzz_XXXXXX").string();
  require(!error && pattern.size() < sizeof private_folder_path, "a temporary folder is known");
  pattern.copy(private_folder_path, pattern.size());
  require(mkdtemp(private_folder_path) != nullptr, "a private folder can be made");
  std::atexit(remove_private_folder);
  return private_folder_path;
}

void write_file(const char* path, std::string_view bytes) {
  std::FILE* file = std::fopen(path, "wb");
  // An empty view may have no data pointer at all, which fwrite must not be given.
  require(file != nullptr &&
              (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()) &&
              std::fclose(file) == 0,
          "a file of the run can be written");
}

// False when the file can't be opened.
bool read_file(const char* path, std::string& text) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  text.clear();
  char block[1 << 14];
  for (std::size_t got = 0; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
    text.append(block, got);
  }
  std::fclose(file);
  return true;
}

// Runs the checker on "in" and `output`, with its transcript going to `console_path`.
int run_on(const char* mode, const char* output, const char* console_path) {
  std::FILE* console = std::fopen(console_path, "wb");
  std::FILE* keyboard = std::fopen("/dev/null", "rb");
  require(console != nullptr && keyboard != nullptr, "the console and keyboard streams open");
  const char* const argv[] = {"hash_checker", mode, "in", output};
  const int status = run_checker(4, argv, console, keyboard);
  std::fclose(console);
  std::fclose(keyboard);
  return status;
}

// Line 1 as the checker reads it: up to the first line feed, less a carriage return before it and
// a byte-order mark at the start.
std::string_view first_line(std::string_view input) {
  if (input.starts_with("\xEF\xBB\xBF")) input.remove_prefix(3);
  const std::size_t feed = input.find('\n');
  if (feed == std::string_view::npos) return input;
  std::string_view line = input.substr(0, feed);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::vector<key_list> answer_layouts(std::string_view answer) {
  require(answer.empty() || answer.back() == '\n', "the answer file ends with a line feed");
  std::vector<key_list> layouts;
  for (std::size_t begin = 0; begin < answer.size();) {
    const std::size_t feed = answer.find('\n', begin);
    split_result parsed = split_keys(answer.substr(begin, feed - begin), " ");
    require(parsed.fault == token_fault::none, "every answer line reads as keys");
    layouts.push_back(std::move(parsed.keys));
    begin = feed + 1;
  }
  return layouts;
}

// For each slot, how many filled slots end there, counting back and wrapping; all of them when
// the table is full.
std::vector<std::int64_t> filled_run_lengths(const key_list& layout) {
  const auto m = static_cast<std::int64_t>(layout.size());
  std::vector<std::int64_t> runs(layout.size(), m);
  const auto empty = std::find(layout.begin(), layout.end(), 0);
  if (empty == layout.end()) return runs;
  const std::int64_t start = empty - layout.begin();
  std::int64_t length = 0;
  for (std::int64_t i = 1; i <= m; ++i) {
    const std::int64_t slot = (start + i) % m;
    length = layout[static_cast<std::size_t>(slot)] == 0 ? 0 : length + 1;
    runs[static_cast<std::size_t>(slot)] = length;
  }
  return runs;
}

// Where the linear scan of key `k` at `slot` begins: its home slot, or for double hashing the slot
// after its third probe; -1 when a double-hash probe reached `slot` first. Requires the probes
// passed on the way to be filled.
std::int64_t linear_scan_start(const key_list& layout, key k, std::int64_t slot,
                               bool double_hashing) {
  const auto m = static_cast<std::int64_t>(layout.size());
  if (!double_hashing) return k % m;
  require(m != 2, "double hashing stores no key in a table of 2 slots");
  const std::int64_t step = k % (m - 2) + 1;
  std::int64_t probe = 0;
  for (std::int64_t i = 0; i < 3; ++i) {
    probe = (k % m + i * step) % m;
    if (probe == slot) return -1;
    require(layout[static_cast<std::size_t>(probe)] != 0, "a probe passed by a key is filled");
  }
  return (probe + 1) % m;
}

// Slots are never emptied, so every slot a key's path passes before the key's own slot was
// filled when the key went in and still is.
void check_paths(const key_list& layout, bool double_hashing) {
  const auto m = static_cast<std::int64_t>(layout.size());
  const std::vector<std::int64_t> runs = filled_run_lengths(layout);
  for (std::int64_t slot = 0; slot < m; ++slot) {
    const key k = layout[static_cast<std::size_t>(slot)];
    if (k == 0) continue;
    const std::int64_t start = linear_scan_start(layout, k, slot, double_hashing);
    require(start < 0 || (slot - start + m) % m < runs[static_cast<std::size_t>(slot)],
            "every slot a key's scan passes is filled");
  }
}

key_list sorted_keys(const key_list& layout) {
  key_list keys;
  std::copy_if(layout.begin(), layout.end(), std::back_inserter(keys),
               [](key k) { return k != 0; });
  std::sort(keys.begin(), keys.end());
  return keys;
}

// Rules for one case's three layouts that hold whatever the input: one size, no key below 0 or
// twice, as many keys in each (a key is dropped only from a full table), so the same keys when a
// slot is left empty, and every key behind a filled stretch of its path.
void check_case_layouts(const key_list* layouts) {
  const std::size_t m = layouts[0].size();
  require(layouts[1].size() == m && layouts[2].size() == m, "a case's layouts have one size");
  std::array<key_list, 3> stored;
  for (std::size_t i = 0; i < 3; ++i) {
    stored[i] = sorted_keys(layouts[i]);
    require(stored[i].empty() || stored[i].front() > 0, "no layout holds a key below 0");
    require(std::adjacent_find(stored[i].begin(), stored[i].end()) == stored[i].end(),
            "no layout holds a key twice");
    check_paths(layouts[i], i == 2);
  }
  require(stored[0].size() == stored[1].size() && stored[1].size() == stored[2].size(),
          "a case's layouts hold as many keys");
  require(stored[0].size() == m || (stored[0] == stored[1] && stored[1] == stored[2]),
          "layouts with an empty slot hold the same keys");
}

struct summary {
  std::int64_t success = 0;
  std::int64_t all = 0;
  std::int64_t score = 0;
  std::int64_t refused = 0;
};

bool skip_text(std::string_view& text, std::string_view expected) {
  if (!text.starts_with(expected)) return false;
  text.remove_prefix(expected.size());
  return true;
}

bool read_number(std::string_view& text, std::int64_t& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc()) return false;
  text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
  return true;
}

bool read_summary(std::string_view transcript, summary& s) {
  constexpr std::string_view heading = ">>>>>>>>>>>>>>>>Summary\nSuccess/All: ";
  const std::size_t at = transcript.rfind(heading);
  if (at == std::string_view::npos) return false;
  std::string_view text = transcript.substr(at + heading.size());
  if (!(read_number(text, s.success) && skip_text(text, "/") && read_number(text, s.all) &&
        skip_text(text, ":\nScore: ") && read_number(text, s.score) && skip_text(text, ":\n"))) {
    return false;
  }
  return !skip_text(text, "Refused cases: ") ||
         (read_number(text, s.refused) && skip_text(text, "\n"));
}

// An answer file is an output file that is right everywhere: graded against itself every line of
// a built case scores, the other cases are the refused ones, and the answer file comes out again.
void check_self_grading(const std::string& answer, int status, std::size_t answer_lines) {
  require(std::rename("hash_answer.txt", "answer") == 0, "the answer file can be moved");
  const int again = run_on("0", "answer", "console");
  // A checking run that grades no line at all passed nothing: it ends with 1, never 0.
  const int graded_status = status == 0 && answer_lines == 0 ? 1 : status;
  require(again == graded_status, "grading the answer file ends with the same status");
  std::string rewritten;
  require(read_file("hash_answer.txt", rewritten) && rewritten == answer,
          "grading the answer file writes it again unchanged");
  std::string transcript;
  summary s;
  require(read_file("console", transcript) && read_summary(transcript, s),
          "grading ends with a summary");
  require(s.success == s.all && s.score == (s.all == 0 ? 0 : 100),
          "every line of the answer file is graded right");
  require(s.all + 3 * s.refused == static_cast<std::int64_t>(answer_lines),
          "every case of the answer file is graded or refused");
  require(status == 1 || s.refused == 0, "status 0 means no case was refused");
}

void check_run(const fuzz_case& c) {
  write_file("in", c.input);
  write_file("out", c.output);
  std::remove("hash_answer.txt");
  const int status = run_on(c.answer_only ? "1" : "0", "out", "/dev/null");
  require(status == 0 || status == 1 || status == 255, "the status is 0, 1 or 255");
  key case_count = 0;
  const bool has_count = token_value(first_line(c.input), case_count) == token_fault::none;
  require(has_count == (status != 255), "the status is 255 exactly when line 1 holds no count");
  std::string answer;
  require(read_file("hash_answer.txt", answer) == has_count,
          "an answer file is written exactly when line 1 holds a count");
  if (!has_count) return;
  const std::vector<key_list> layouts = answer_layouts(answer);
  const auto lines = static_cast<std::int64_t>(layouts.size());
  const std::int64_t counted_lines = 3 * std::max<std::int64_t>(case_count, 0);
  require(lines % 3 == 0 && (status == 0 ? lines == counted_lines : lines <= counted_lines),
          "three answer lines a case, for every counted case when the status is 0");
  for (std::size_t i = 0; i < layouts.size(); i += 3) check_case_layouts(&layouts[i]);
  check_self_grading(answer, status, layouts.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const fuzz_case c = split_fuzz_bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  if (too_costly(c.input)) return 0;
  const char* folder = private_folder();
  const int caller_folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  require(caller_folder >= 0 && chdir(folder) == 0, "the private folder can be entered");
  check_run(c);
  require(fchdir(caller_folder) == 0 && close(caller_folder) == 0,
          "the caller's folder can be entered again");
  return 0;
}
