#include "checker/run.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <utility>

#include "checker/answer_check.h"
#include "checker/key_lines.h"
#include "checker/line_reader.h"
#include "checker/text_out.h"
#include "hashing/hash_table.h"

namespace {

constexpr int failure_status = -1;
constexpr int incomplete_status = 1;
constexpr const char* answer_file_name = "./hash_answer.txt";

struct run_options {
  std::int32_t answer_only = 0;
  std::string input_file_name = "./hash_input.txt";
  std::string output_file_name = "./hash_output.txt";
};

struct run_state {
  run_options options;
  line_reader input_f;
  line_reader output_f;
  text_out answer_file;
  text_out console;
  std::string line;
  std::string test_line;
  std::int32_t test_case_count = 0;
  std::int64_t success_count = 0;
  std::int64_t all_count = 0;
  std::int64_t refused_count = 0;
  bool ended_early = false;
};

// A case's three input lines, parsed; `refusal` says why the case can't be built, or is empty.
struct case_input {
  key_list size_info;
  key_list first_keys;
  key_list second_keys;
  std::int64_t size_line_number = 0;
  std::string refusal;
};

enum class case_read { complete, ended, failed };

run_options parse_command_line(int argc, const char* const* argv) {
  run_options options;
  if (argc == 2 || argc == 4) options.answer_only = lenient_value(argv[1]);
  if (argc == 4) {
    options.input_file_name = argv[2];
    options.output_file_name = argv[3];
  }
  return options;
}

// A directory opens for reading on some systems but never yields a line, so it counts as a
// file that can't be opened.
std::FILE* open_for_reading(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return nullptr;
  return std::fopen(path.c_str(), "rb");
}

// The size of a regular file, or 0 when it has none.
std::uint64_t size_of(const std::string& path) {
  std::error_code unknown;
  const std::uintmax_t size = std::filesystem::file_size(path, unknown);
  return unknown ? 0 : size;
}

bool fail(run_state& st, const std::string& message) {
  put_text(st.console, message);
  return false;
}

// One line about a file, as in "Input File ./hash_input.txt open failed".
bool fail_file(run_state& st, std::string_view role, const std::string& path,
               std::string_view what) {
  return fail(st, std::string(role) + " File " + path + " " + std::string(what) + "\n");
}

std::string where(const line_reader& reader, std::int64_t line_number) {
  return "Input File " + reader.path + " line " + std::to_string(line_number) + ": ";
}

bool read_case_count(run_state& st) {
  const read_status status = read_line(st.input_f, st.line);
  if (status == read_status::error) return fail_file(st, "Input", st.input_f.path, "read failed");
  key count = 0;
  const token_fault fault = token_value(st.line, count);
  if (fault != token_fault::none) {
    return fail(st, where(st.input_f, 1) + "case count " + quote_token(st.line) + " " +
                        std::string(fault_text(fault)) + "\n");
  }
  st.test_case_count = count;
  return true;
}

// Opens the three files in order and reads the case count before the answer file is opened,
// so that a run that can't start leaves an existing answer file as it was.
bool start_up(run_state& st) {
  st.input_f.path = st.options.input_file_name;
  st.input_f.file = open_for_reading(st.input_f.path);
  st.input_f.size_hint = size_of(st.input_f.path);
  if (st.input_f.file == nullptr) return fail_file(st, "Input", st.input_f.path, "open failed");
  st.output_f.path = st.options.output_file_name;
  st.output_f.file = open_for_reading(st.output_f.path);
  st.output_f.size_hint = size_of(st.output_f.path);
  if (st.options.answer_only == 0 && st.output_f.file == nullptr) {
    return fail_file(st, "Output", st.output_f.path, "open failed");
  }
  if (!read_case_count(st)) return false;
  st.answer_file.file = std::fopen(answer_file_name, "w");
  if (st.answer_file.file == nullptr) {
    return fail_file(st, "Answer", answer_file_name, "open failed");
  }
  return true;
}

std::string line_refusal(const run_state& st, const split_result& parsed, bool is_size_line) {
  const std::string at = where(st.input_f, st.input_f.line_number);
  if (parsed.fault != token_fault::none) {
    return at + "token " + quote_token(parsed.token) + " " + std::string(fault_text(parsed.fault)) +
           "; case refused\n";
  }
  if (is_size_line) {
    return parsed.keys.size() < 3 ? at + "size line has fewer than three keys; case refused\n" : "";
  }
  const auto negative =
      std::find_if(parsed.keys.begin(), parsed.keys.end(), [](key k) { return k < 0; });
  if (negative == parsed.keys.end()) return "";
  return at + "key " + std::to_string(*negative) + " is below 0; case refused\n";
}

// Table sizes 0 and 2 would take a remainder by zero as soon as a key is inserted.
std::string size_refusal(const run_state& st, const case_input& input) {
  const key table_size = input.size_info[0];
  if (table_size != 0 && table_size != 2) return "";
  if (input.first_keys.empty() && input.second_keys.empty()) return "";
  return where(st.input_f, input.size_line_number) + "table size " + std::to_string(table_size) +
         " can't take keys (a remainder by zero); case refused\n";
}

case_read read_case(run_state& st, case_input& input) {
  const std::array<key_list*, 3> targets{&input.size_info, &input.first_keys, &input.second_keys};
  for (key_list* target : targets) {
    const read_status status = read_line(st.input_f, st.line);
    if (status != read_status::line) {
      return status == read_status::end ? case_read::ended : case_read::failed;
    }
    split_result parsed = split_keys(st.line, " ");
    const bool is_size_line = target == &input.size_info;
    if (is_size_line) input.size_line_number = st.input_f.line_number;
    if (input.refusal.empty()) input.refusal = line_refusal(st, parsed, is_size_line);
    *target = std::move(parsed.keys);
  }
  if (input.refusal.empty()) input.refusal = size_refusal(st, input);
  return case_read::complete;
}

// A refused case still owns three lines of the output file, read so the next case stays in step.
bool refuse_case(run_state& st, const case_input& input) {
  ++st.refused_count;
  put_text(st.console, input.refusal);
  put_text(st.answer_file, "\n\n\n");
  if (st.options.answer_only != 0) return true;
  for (int i = 0; i < 3; ++i) {
    if (read_line(st.output_f, st.test_line) == read_status::error) return false;
  }
  return true;
}

// The three layouts are built in one call, in the order linear probing, two-pass hashing,
// double hashing, so that repeated keys are found once and one table serves all three.
bool build_case(run_state& st, const case_input& input) {
  put_text(st.console, ">>>>>>>>>>>>>>>>GROUND TRUTH:\n");
  const layouts built = build_layouts(input.size_info[0], input.first_keys, input.second_keys);
  for (const key_list* layout : {&built.linear_prob_contents, &built.two_pass_hasing_contents,
                                 &built.double_hasing_contents}) {
    print_and_write_keys(st.console, st.answer_file, *layout);
  }
  if (st.options.answer_only != 0) return true;
  return check_case(st.output_f, st.test_line, built.linear_prob_contents,
                    built.two_pass_hasing_contents, built.double_hasing_contents, st.success_count,
                    st.all_count, st.console);
}

// Runs every case; false when a file failed and the run must stop with -1.
bool run_cases(run_state& st) {
  for (std::int32_t i = 0; i < st.test_case_count; ++i) {
    case_input input;
    const case_read read = read_case(st, input);
    if (read == case_read::failed) return fail_file(st, "Input", st.input_f.path, "read failed");
    if (read == case_read::ended) {
      st.ended_early = true;
      put_text(st.console, "Input File " + st.input_f.path + " ended after " + std::to_string(i) +
                               " of " + std::to_string(st.test_case_count) + " cases\n");
      return true;
    }
    put_text(st.console, "\n\n>>>>>>>>>>>>>>>>TEST Case: " + std::to_string(i) + "\n");
    const bool went_on = input.refusal.empty() ? build_case(st, input) : refuse_case(st, input);
    if (!went_on) return fail_file(st, "Output", st.output_f.path, "read failed");
    if (st.answer_file.failed) return fail_file(st, "Answer", answer_file_name, "write failed");
  }
  return true;
}

// The answer file is complete only once it is closed without an error.
bool close_answer_file(run_state& st) {
  const bool flushed = flush_text(st.answer_file);
  const bool closed = std::fclose(st.answer_file.file) == 0;
  st.answer_file.file = nullptr;
  if (flushed && closed) return true;
  return fail_file(st, "Answer", answer_file_name, "write failed");
}

int end_of_run(run_state& st, std::FILE* keyboard) {
  if (st.options.answer_only == 0) {
    print_summary(st.console, st.success_count, st.all_count, st.refused_count);
  }
  if (!close_answer_file(st)) return failure_status;
  put_text(st.console, "Press Any Key to Finish\nYou can find answer in [hash_answer.txt] file.\n");
  flush_text(st.console);
  if (keyboard != nullptr) std::fgetc(keyboard);
  return st.refused_count > 0 || st.ended_early ? incomplete_status : 0;
}

void close_files(run_state& st) {
  for (line_reader* reader : {&st.input_f, &st.output_f}) {
    if (reader->file != nullptr) std::fclose(reader->file);
    reader->file = nullptr;
  }
  if (st.answer_file.file != nullptr) std::fclose(st.answer_file.file);
  st.answer_file.file = nullptr;
}

int run(run_state& st, std::FILE* keyboard) {
  if (!start_up(st)) return failure_status;
  if (!run_cases(st)) return failure_status;
  std::fclose(st.input_f.file);
  st.input_f.file = nullptr;
  return end_of_run(st, keyboard);
}

}  // namespace

std::int32_t lenient_value(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  std::int64_t magnitude = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[at] - '0'), std::int64_t{1} << 31);
  }
  const std::int64_t value = negative ? -magnitude : std::min<std::int64_t>(magnitude, INT32_MAX);
  return static_cast<std::int32_t>(value);
}

int run_checker(int argc, const char* const* argv, std::FILE* console, std::FILE* keyboard) {
  run_state st;
  st.console.file = console;
  st.options = parse_command_line(argc, argv);
  int status = run(st, keyboard);
  close_files(st);
  if (!flush_text(st.console)) {
    std::fputs("hash_checker: standard output write failed\n", stderr);
    status = failure_status;
  }
  return status;
}

void stop_on_out_of_memory() {
  std::set_new_handler([] {
    std::fputs("Out of memory\n", stdout);
    std::fflush(stdout);
    std::_Exit(255);
  });
}
