#include "checker/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "checker/diagnosis.h"
#include "checker/failure.h"
#include "checker/grading.h"
#include "checker/key_line_stream.h"
#include "checker/key_lines.h"
#include "checker/line_prefetch.h"
#include "checker/shape.h"
#include "hashing/huge_pages.h"
#include "hashing/program_limits.h"
#include "hashing/thread_start.h"

namespace {

// A directory opens for reading on some systems but never yields a line, so it counts as a
// file that can't be opened.
std::FILE* open_for_reading(const std::string& path) {
  // "-" is standard input, on a descriptor of its own so that closing the file leaves it open.
  if (path == "-") {
    const int copy = ::dup(STDIN_FILENO);
    std::FILE* file = copy < 0 ? nullptr : ::fdopen(copy, "rb");
    if (file == nullptr && copy >= 0) ::close(copy);
    return file;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return nullptr;
  return std::fopen(path.c_str(), "rb");
}

std::string where(const line_reader& reader, std::int64_t line_number) {
  return "Input File " + reader.path + " line " + std::to_string(line_number) + ": ";
}

std::string read_case_count(run_files& files) {
  parsed_line count;
  const read_status status = read_key_line(files.input_f, count, true);
  if (status == read_status::error) {
    return file_failure_line("Input File", files.input_f.path, file_step::read);
  }
  if (count.fault == token_fault::none && count.keys.empty()) count.fault = token_fault::blank;
  if (count.fault != token_fault::none) {
    const std::string shown = quote_token(count.token, count.token_cut);
    return where(files.input_f, 1) + "case count " + shown + " " +
           std::string(fault_text(count.fault));
  }
  files.case_count = count.keys[0];
  files.count_line_numbers = count.whole_line_numbers;
  return "";
}

// Why the line just read keeps its case from being built, or an empty text.
std::string line_refusal(const line_reader& input_f, const parsed_line& parsed, bool is_size_line) {
  const std::string at = where(input_f, input_f.line_number);
  if (parsed.fault != token_fault::none) {
    const std::string shown = quote_token(parsed.token, parsed.token_cut);
    return at + "token " + shown + " " + std::string(fault_text(parsed.fault)) + "; case refused";
  }
  if (is_size_line) {
    if (parsed.keys.size() < 3) return at + "size line has fewer than three keys; case refused";
    const key size = parsed.keys[0];
    if (size < 0) return at + "table size " + std::to_string(size) + " is below 0; case refused";
    if (size > max_table_size) {
      return at + "table size " + std::to_string(size) + " is above the largest table, " +
             std::to_string(max_table_size) + " slots; case refused";
    }
    return "";
  }
  const auto negative =
      std::find_if(parsed.keys.begin(), parsed.keys.end(), [](key k) { return k < 0; });
  if (negative == parsed.keys.end()) return "";
  return at + "key " + std::to_string(*negative) + " is below 0; case refused";
}

std::string size_refusal(const line_reader& input_f, const case_result& record) {
  if (table_takes_keys(record.table_size)) return "";
  if (record.first_keys.empty() && record.second_keys.empty()) return "";
  return where(input_f, record.size_line) + "table size " + std::to_string(record.table_size) +
         " can't take keys (a remainder by zero); case refused";
}

// The end of the input before the counted cases, or a failed read.
void end_early(const run_files& files, read_status read, std::int64_t cases_run,
               run_summary& summary) {
  if (read == read_status::error) {
    summary.error = file_failure_line("Input File", files.input_f.path, file_step::read);
    return;
  }
  summary.ended_early = true;
  summary.ended_message = "Input File " + files.input_f.path + " ended after " +
                          std::to_string(cases_run) + " of " + std::to_string(files.case_count) +
                          " cases";
}

// A large case's layouts are rendered beside the console on a second thread and, in checking
// mode, its submitted lines are read ahead while its tables are built. Small cases don't pay for
// a thread.
constexpr std::int64_t slots_worth_a_thread = large_case_slots;

// A read_case that parses every case's keys.
constexpr auto every_case = [](const parsed_line& /*size_line*/) { return true; };

// The rest of a case whose keys are not wanted: its two key lines read past, the case not built.
read_status skip_key_lines(line_reader& input_f, const parsed_line& size_line,
                           case_result& record) {
  record.table_size = size_line.keys.empty() ? 0 : size_line.keys[0];
  record.state = case_state::not_built;
  for (int line = 0; line < 2; ++line) {
    const read_status status = skip_line(input_f);
    if (status != read_status::line) return status;
  }
  return read_status::line;
}

// Reads a case's three input lines into `record`, with the first reason to refuse it; hands
// `after_size_line` the size line as soon as it is read. Where `keys_wanted` says no to the size
// line, the two key lines are read past unparsed and the case is left not built.
template <typename size_line_fn, typename keys_wanted_fn>
read_status read_case(line_reader& input_f, case_result& record, size_line_fn after_size_line,
                      keys_wanted_fn keys_wanted) {
  parsed_line size_info;
  const std::array<key_list*, 3> targets{&size_info.keys, &record.first_keys, &record.second_keys};
  parsed_line parsed;
  for (key_list* target : targets) {
    const read_status status = read_key_line(input_f, parsed);
    if (status != read_status::line) return status;
    const bool is_size_line = target == &size_info.keys;
    if (is_size_line) {
      record.size_line = input_f.line_number;
      after_size_line(parsed);
      if (!keys_wanted(parsed)) return skip_key_lines(input_f, parsed, record);
    }
    if (record.message.empty()) record.message = line_refusal(input_f, parsed, is_size_line);
    target->swap(parsed.keys);
  }
  record.table_size = size_info.keys.empty() ? 0 : size_info.keys[0];
  if (record.message.empty()) record.message = size_refusal(input_f, record);
  record.state = record.message.empty() ? case_state::built : case_state::refused;
  return read_status::line;
}

std::string not_built_line(const line_reader& input_f, const case_result& record) {
  return where(input_f, record.size_line) + "table size " + std::to_string(record.table_size) +
         " could not be allocated: out of memory; case not built";
}

void build_case(const line_reader& input_f, case_result& record) {
  record.expected = build_layouts(static_cast<std::int32_t>(record.table_size), record.first_keys,
                                  record.second_keys);
  if (!record.expected.allocation_failed) return;
  record.state = case_state::not_built;
  record.message = not_built_line(input_f, record);
}

// Explains a Wrong line. The case's keys are sorted once, on its first Wrong line, and shared.
// A line whose only bad tokens are "None" is named from `parsed`, each "None" read as an empty
// slot; it stays Wrong for its bad token, and only its mistake is looked for.
void diagnose(const case_result& record, const neighbours& around, std::size_t index,
              line_result& result, std::optional<key_order>& order, diagnosis_scratch& scratch,
              std::function<const mistake_evidence*()> fetch_evidence, const parsed_line& parsed,
              bool table_kept, pair_budget* pairs, bool names_only = false) {
  if (!order) {
    order = order_keys(record.first_keys, record.second_keys, scratch.pairs, scratch.spare);
  }
  const auto layout_at = [&](std::size_t i) {
    return &layout_of(record.expected, all_strategies[i]);
  };
  diagnosis_input input;
  input.table_size = record.table_size;
  input.first_keys = &record.first_keys;
  input.second_keys = &record.second_keys;
  input.expected = &record.expected;
  input.strategy = result.strategy;
  input.submitted = &result.submitted;
  input.truncated_keys = result.truncated_keys;
  input.line_above = index == 0 ? around.above.front() : layout_at(index - 1);
  input.line_below =
      index + 1 == all_strategies.size() ? around.below.front() : layout_at(index + 1);
  input.notes = result.notes;
  input.order = &*order;
  input.fetch_evidence = std::move(fetch_evidence);
  input.pairs = pairs;
  input.names_only = names_only;
  input.keys_read = result.problem == line_problem::none;
  input.table_kept = table_kept;
  if (result.problem == line_problem::bad_token && parsed.marked_empty) {
    input.submitted = &parsed.keys;
    input.names_only = true;
    input.keys_read = true;
  }
  result.details = std::make_shared<const diagnosis>(diagnose_line(input, scratch));
}

// Lines read ahead are held beside the case's three results and a table, 4 bytes a slot each,
// plus a fourth line's worth while one grows, and the threads' own room (a malloc arena of
// 64 MiB and a stack each, for the reader and a renderer): where room for all of that can't be
// had (a memory limit), the lines are read in turn after the build rather than take the room
// the build needs.
bool room_to_read_ahead(std::int64_t table_size) {
  constexpr std::size_t threads_keys = std::size_t{1} << 25;  // 128 MiB
  return can_hold_keys(4 * static_cast<std::size_t>(table_size) + 4 * kept_keys(table_size) +
                       threads_keys);
}

// Reads case `number` and builds it when it may be built. With `ahead`, a large case's submitted
// lines are read meanwhile on a second thread; the output file must then be at the case's lines.
// With `lines_on_thread`, only that many of them, only where a thread can be had, and only once
// the case's input lines are all read, so that its lines are always taken by its grading.
read_status next_case(run_files& files, std::int64_t number, case_result& record,
                      line_prefetch* ahead = nullptr, int lines_on_thread = 0) {
  record = case_result{};
  record.number = number;
  if (number >= files.case_count) return read_status::end;
  const auto worth_reading_ahead = [&](const parsed_line& size_line) {
    const bool large = size_line.fault == token_fault::none && !size_line.keys.empty() &&
                       size_line.keys[0] >= slots_worth_a_thread &&
                       size_line.keys[0] <= max_table_size;
    return ahead != nullptr && large && room_to_read_ahead(size_line.keys[0]);
  };
  bool worth = false;
  const auto read_ahead = [&](const parsed_line& size_line) {
    worth = worth_reading_ahead(size_line);
    if (lines_on_thread == 0 && worth) ahead->start(files.output_f, kept_keys(size_line.keys[0]));
  };
  const read_status read = read_case(files.input_f, record, read_ahead, every_case);
  if (read == read_status::line && lines_on_thread > 0 && worth) {
    ahead->start_on_thread(files.output_f, kept_keys(record.table_size), lines_on_thread);
  }
  if (read == read_status::line && record.state == case_state::built) {
    if (files.room_for_case != nullptr) {
      record.message = files.room_for_case(record);
    }
    if (record.message.empty()) {
      build_case(files.input_f, record);
    } else {
      record.state = case_state::not_built;
    }
  }
  return read;
}

// The next submitted line: from the lines read ahead when there are some, cut to `key_limit`
// keys as a read with it would be, else from the file (a case that was not built only reads past
// its lines, unless its shape is judged). Sets the line's number.
read_status next_submitted(run_files& files, submitted_lines* ahead, std::size_t index, bool parse,
                           std::size_t key_limit, parsed_line& parsed, std::int64_t& line_number) {
  if (ahead == nullptr || static_cast<int>(index) >= ahead->wanted) {
    const read_status status = parse ? read_key_line(files.output_f, parsed, false, key_limit, true)
                                     : skip_line(files.output_f);
    line_number = files.output_f.line_number;
    return status;
  }
  parsed = std::move(ahead->parsed[index]);
  keep_graded_keys(parsed, key_limit);
  line_number = ahead->line_number[index];
  return ahead->status[index];
}

// The evidence of the whole submission, read at the first Wrong line that two or more mistakes
// give: a submission without one is read once only.
const mistake_evidence& prior_evidence(shape_pass& pass) {
  if (pass.gather_prior) {
    pass.gather_prior(pass.prior);
    pass.gather_prior = nullptr;
  }
  return pass.prior;
}

// A case's keys in order for its diagnosis, and the room they were sorted in; sorted on a second
// thread while the case's layouts are written (see sort_early), or by the first Wrong line.
struct case_order {
  const case_result* record = nullptr;
  std::optional<key_order> order;
  diagnosis_scratch scratch;
  helper_thread thread;  // joined before the order is read
};

void* sort_keys(void* argument) {
  auto* sorted = static_cast<case_order*>(argument);
  const case_result& record = *sorted->record;
  sorted->order = order_keys(record.first_keys, record.second_keys, sorted->scratch.pairs,
                             sorted->scratch.spare);
  return nullptr;
}

// A large case whose lines read ahead already show a Wrong line will sort its keys for the
// diagnosis: they are sorted on a thread from now, while the console writes the layouts. Where
// no thread can be had, the first Wrong line sorts them, as without lines read ahead.
void sort_early(const case_result& record, const submitted_lines* lines, case_order& sorted) {
  if (lines == nullptr || record.state != case_state::built ||
      record.table_size < slots_worth_a_thread) {
    return;
  }
  bool wrong = false;
  for (int i = 0; i < lines->count && !wrong; ++i) {
    const auto index = static_cast<std::size_t>(i);
    wrong = lines->status[index] != read_status::line ||
            lines->parsed[index].keys != layout_of(record.expected, all_strategies[index]);
  }
  if (!wrong) return;
  sorted.record = &record;
  sorted.thread.start(sort_keys, &sorted);
}

// Reads a case's lines into `lines`, each keeping the keys `limit(index)` says, up to a read that
// fails, telling `line_read` (when given) of each line read.
template <typename limit_fn>
void read_case_lines(line_reader& output_f, limit_fn limit, submitted_lines& lines,
                     void (*line_read)(int) = nullptr) {
  for (std::size_t index = 0; index < strategy_count; ++index) {
    lines.status[index] = read_key_line(output_f, lines.parsed[index], false, limit(index), true);
    lines.line_number[index] = output_f.line_number;
    lines.count = static_cast<int>(index) + 1;
    if (line_read != nullptr) line_read(lines.count);
    if (lines.status[index] == read_status::error) return;
  }
}

// Whether the case's lines, read whole, show a table never emptied between strategies.
bool table_kept_in(const case_result& record, const submitted_lines& lines) {
  std::array<const key_list*, strategy_count> keys{};
  for (std::size_t index = 0; index < strategy_count; ++index) {
    const parsed_line& parsed = lines.parsed[index];
    const bool whole = lines.status[index] == read_status::line &&
                       parsed.fault == token_fault::none && parsed.dropped_keys == 0;
    keys[index] = whole ? &parsed.keys : nullptr;
  }
  return table_kept_in_case(record.first_keys, record.second_keys, record.expected, keys);
}

// Reads and judges the case's three submitted lines; a case that was not built still owns three
// lines of the output file, read past so the next case stays in step. False when a read failed.
bool grade_case(const run_request& request, run_files& files, std::span<const renderer_slot> slots,
                const case_result& record, case_tally& tally, const neighbours& around,
                shape_pass* pass, line_prefetch* ahead = nullptr, case_order* sorted = nullptr,
                submitted_lines* taken = nullptr) {
  submitted_lines* read_ahead = taken != nullptr                       ? taken
                                : ahead != nullptr && ahead->started() ? &ahead->take()
                                                                       : nullptr;
  const bool judging = pass != nullptr && pass->judging;
  const bool built = record.state == case_state::built;
  const std::size_t key_limit = kept_keys(record.table_size);
  // A diagnosis judges some mistakes on the case's lines together, so it reads them all first;
  // lines read ahead are cut first to the keys those reads would keep.
  submitted_lines together;
  bool table_kept = false;
  const auto limit = [&](std::size_t index) {
    return judging ? shape_key_limit(record, around, index) : key_limit;
  };
  if (request.diagnose && built) {
    if (read_ahead == nullptr) {
      read_case_lines(files.output_f, limit, together, files.line_read);
      read_ahead = &together;
    } else {
      for (int i = 0; i < read_ahead->count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        keep_graded_keys(read_ahead->parsed[index], limit(index));
      }
    }
    table_kept = table_kept_in(record, *read_ahead);
  }
  parsed_line parsed;
  held_event event{held_event::kind::line, &record, {}, {}, 0};
  line_result& result = event.result;
  case_order own_order;
  if (sorted == nullptr) sorted = &own_order;
  sorted->thread.join();
  std::optional<key_order>& order = sorted->order;
  diagnosis_scratch& scratch = sorted->scratch;
  for (std::size_t index = 0; index < all_strategies.size(); ++index) {
    const strategy_id strategy = all_strategies[index];
    std::int64_t line_number = 0;
    const read_status status = next_submitted(
        files, read_ahead, index, built || judging,
        judging ? shape_key_limit(record, around, index) : key_limit, parsed, line_number);
    if (status == read_status::error) return false;
    shift_holds holds = 0;
    far_lines far_above{};
    if (judging) holds = look_at_line(*pass, record, around, index, status, parsed, far_above);
    if (built) {
      keep_graded_keys(parsed, key_limit);
      result.strategy = strategy;
      result.output_line = line_number;
      grade_line(status, parsed, layout_of(record.expected, strategy), result);
      result.details.reset();
      if (request.diagnose && result.judged == verdict::wrong) {
        std::function<const mistake_evidence*()> fetch;
        if (pass != nullptr) fetch = [pass] { return &prior_evidence(*pass); };
        diagnose(record, around, index, result, order, scratch, std::move(fetch), parsed,
                 table_kept, pass == nullptr ? nullptr : &pass->pairs);
      }
      ++tally.graded_count;
      tally.right_count += result.judged == verdict::right ? 1 : 0;
    } else {
      result = line_result{};
      result.strategy = strategy;
      result.output_line = line_number;
    }
    if (judging) {
      feed_line(*pass, slots, !built || result.judged == verdict::wrong, holds, far_above);
      event.fed = pass->finder.fed();
    }
    if (tell(pass, slots, event)) {
      result = line_result{};
    } else {
      parsed.keys.swap(result.submitted);  // keep the room for the next line
    }
    if (judging) release(*pass, slots);
  }
  return true;
}

// The first failure line among renderers whose failures end the run, or an empty text.
std::string renderer_failure(std::span<const renderer_slot> slots) {
  const auto failed = std::find_if(slots.begin(), slots.end(), [](const renderer_slot& slot) {
    return !slot.failure_line.empty() && !slot.renderer->ok();
  });
  return failed == slots.end() ? "" : failed->failure_line;
}

void count_case(const case_result& record, const case_tally& tally, run_summary& summary) {
  ++summary.cases;
  summary.right += tally.right_count;
  summary.all += tally.graded_count;
  if (record.state == case_state::refused) ++summary.refused;
  if (record.state == case_state::not_built) ++summary.not_built;
}

// A large case's layouts are written by two renderers at once (the console and the answer file
// each format every key), so the renderers of layouts alone take begin_case on a second thread.
// Each renderer writes only its own file, so the bytes are the same whatever the timing, and the
// case they are handed is const: grading writes only the submission's lines and tally.

struct beside_job {
  std::span<const renderer_slot> slots;
  const case_result* record = nullptr;
};

void* begin_case_beside(void* argument) {
  const auto* job = static_cast<const beside_job*>(argument);
  for (const renderer_slot& slot : job->slots) {
    if (slot.beside != nullptr) slot.beside->begin_case(*job->record);
  }
  return nullptr;
}

// Tells every renderer begin_case; for a large case the renderers of layouts alone hear it on a
// second thread that goes on while the submitted lines are read and judged. The owner joins it
// before end_case. The others hear it through the shape pass, behind any event held back.
class case_beginning {
 public:
  case_beginning(std::span<const renderer_slot> slots, const case_result& record, shape_pass* pass)
      : job_{slots, &record} {
    const bool large =
        record.state == case_state::built && record.table_size >= slots_worth_a_thread;
    const bool any_beside = std::any_of(slots.begin(), slots.end(), [](const renderer_slot& slot) {
      return slot.beside != nullptr;
    });
    // Without a thread (none can be had) the renderers of layouts alone simply run here first;
    // each writes only its own file, so the order makes no difference.
    if (large && any_beside) {
      thread_.run(begin_case_beside, &job_);
    } else {
      begin_case_beside(&job_);
    }
    held_event event{held_event::kind::begin_case, &record, {}, {}, 0};
    tell(pass, slots, event);
  }
  case_beginning(const case_beginning&) = delete;
  case_beginning& operator=(const case_beginning&) = delete;
  ~case_beginning() = default;
  void join() { thread_.join(); }

 private:
  beside_job job_;
  helper_thread thread_;  // after the job it reads, so joined first
};

// Renders and grades one case read and built before, into `tally`; returns the failure line that
// ends the run, or an empty text. A read that fails ends the case before its end_case: its tally
// so far is then `summary.unfinished`.
std::string run_case(const run_request& request, run_files& files,
                     std::span<const renderer_slot> slots, const case_result& record,
                     case_tally& tally, const neighbours& around, shape_pass* pass,
                     line_prefetch* ahead, run_summary& summary) {
  // Diagnosed, the lines read ahead are taken before the layouts are written, so that a case
  // with a Wrong line sorts its keys meanwhile.
  case_order sorted;
  submitted_lines* taken = nullptr;
  if (request.diagnose && ahead != nullptr && ahead->started()) {
    taken = &ahead->take();
    sort_early(record, taken, sorted);
  }
  case_beginning beginning(slots, record, pass);
  if (!request.answer_only &&
      !grade_case(request, files, slots, record, tally, around, pass, ahead, &sorted, taken)) {
    summary.unfinished = tally;
    return file_failure_line("Output File", files.output_f.path, file_step::read);
  }
  beginning.join();
  held_event event{held_event::kind::end_case, &record, {}, tally, 0};
  tell(pass, slots, event);
  return renderer_failure(slots);
}

// The layouts of a case's lines from the last up, as the neighbours above the case after it.
void layouts_above(const layouts& built, neighbours& around) {
  for (std::size_t i = 0; i < around.above.size(); ++i) {
    around.above[i] = &built.by_strategy[built.by_strategy.size() - 1 - i];
  }
}

// The layouts of a case's lines from the first down, as the neighbours below the case before it.
void layouts_below(const layouts& built, neighbours& around) {
  for (std::size_t i = 0; i < around.below.size(); ++i) around.below[i] = &built.by_strategy[i];
}

// The neighbours of case `index` when every case is held: the layouts of the output lines just
// before and after it, as run_cases finds them reading one case ahead.
neighbours neighbours_of(std::span<const case_result> cases, std::size_t index) {
  neighbours around;
  if (index > 0 && cases[index - 1].state == case_state::built) {
    layouts_above(cases[index - 1].expected, around);
  }
  if (index + 1 < cases.size() && cases[index + 1].state == case_state::built) {
    layouts_below(cases[index + 1].expected, around);
  }
  return around;
}

// ---- Evidence of the program's mistake, from a read of the whole submission ----
// Naming a line by the mistake that gives the most of the submission's lines needs every line
// judged first, and the lines are reported as they are read: so at the first Wrong line that
// two or more mistakes give, a submission that can be read twice (a regular file) is read whole
// once more, finding only which mistakes give each Wrong line; one without such a line is read
// once. Cases whose wrong builds
// can't be tried (above largest_variant_table) are read past, their keys unparsed.

// Checked by name before opening, since opening a FIFO a second time would wait for a writer or
// take lines from the run; and again once open, in case the name was replaced meanwhile.
bool regular_path(const std::string& path) {
  struct stat info {};
  return path != "-" && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool regular(std::FILE* file) {
  struct stat info {};
  return file != nullptr && ::fstat(::fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

// Counts the mistakes that give each of a case's Wrong lines; false when a read failed.
bool count_case_evidence(line_reader& output_f, const case_result& record, const neighbours& around,
                         mistake_evidence& evidence, pair_budget& pairs) {
  const bool counted =
      record.state == case_state::built && record.table_size <= largest_variant_table;
  if (!counted) {
    for (std::size_t index = 0; index < all_strategies.size(); ++index) {
      if (skip_line(output_f) == read_status::error) return false;
    }
    return true;
  }
  submitted_lines lines;
  read_case_lines(
      output_f, [&](std::size_t) { return kept_keys(record.table_size); }, lines);
  const bool table_kept = table_kept_in(record, lines);
  line_result result;
  std::optional<key_order> order;
  diagnosis_scratch scratch;
  for (std::size_t index = 0; index < all_strategies.size(); ++index) {
    const read_status status = lines.status[index];
    if (status == read_status::error) return false;
    result = line_result{};
    result.strategy = all_strategies[index];
    grade_line(status, lines.parsed[index], layout_of(record.expected, result.strategy), result);
    // A line past the end of the file is the output cut short, which the shape says: no evidence.
    if (result.judged != verdict::wrong || result.problem == line_problem::missing) continue;
    diagnose(record, around, index, result, order, scratch, nullptr, lines.parsed[index],
             table_kept, &pairs, true);
    count_evidence(*result.details, evidence);
  }
  return true;
}

// Reads case `number` for the evidence: built when its wrong builds can be tried, else marked
// not built, and then its keys are read past without being parsed.
read_status evidence_case(run_files& files, std::int64_t number, case_result& record) {
  record = case_result{};
  record.number = number;
  if (number >= files.case_count) return read_status::end;
  const auto triable = [](const parsed_line& size_line) {
    return size_line.keys.empty() || size_line.keys[0] <= largest_variant_table;
  };
  const read_status read = read_case(
      files.input_f, record, [](const parsed_line& /*size_line*/) {}, triable);
  if (read == read_status::line && record.state == case_state::built) {
    build_case(files.input_f, record);
  }
  return read;
}

// The evidence of the submission `request` names, its cases read one ahead as run_cases reads
// them; left as it is when either file is not a regular file or a read fails.
void gather_from_files(const run_request& request, mistake_evidence& evidence) {
  if (!regular_path(request.input_path) || !regular_path(request.output_path)) return;
  run_files files;
  if (!start_run(request, files).empty() || !regular(files.input.get()) ||
      !regular(files.output.get())) {
    return;
  }
  mistake_evidence found;
  pair_budget pairs;
  case_result current;
  case_result next;
  read_status read = evidence_case(files, 0, current);
  key_list above;
  bool has_above = false;
  for (std::int64_t i = 0; i < files.case_count && read == read_status::line; ++i) {
    const read_status next_read = evidence_case(files, i + 1, next);
    const bool next_built = next_read == read_status::line && next.state == case_state::built;
    neighbours around;
    around.above.front() = has_above ? &above : nullptr;
    around.below.front() = next_built ? &next.expected.by_strategy.front() : nullptr;
    if (!count_case_evidence(files.output_f, current, around, found, pairs)) return;
    has_above = current.state == case_state::built;
    if (has_above) above.swap(current.expected.by_strategy.back());
    std::swap(current, next);
    read = next_read;
  }
  evidence = std::move(found);
}

// Opens the submission a class run grades into `files` as grade_submission does.
submission_state open_submission(const run_request& request, run_files& files) {
  files.output_f.path = request.output_path;
  files.output_f.parser.any_separator = request.any_separator;
  submission_state opened = submission_state::graded;
  if (request.listed) {
    std::FILE* file = nullptr;
    opened = open_listed_submission(request.output_path, request.follow_links, &file);
    files.output.reset(file);
  } else {
    files.output.reset(open_for_reading(request.output_path));
    if (files.output == nullptr) opened = submission_state::open_failed;
  }
  files.output_f.file = files.output.get();
  return opened;
}

// As gather_from_files, for a class run whose cases are built already.
void gather_from_cases(const run_request& request, std::span<const case_result> cases,
                       mistake_evidence& evidence) {
  run_files files;
  if (!regular_path(request.output_path) ||
      open_submission(request, files) != submission_state::graded || !regular(files.output.get())) {
    return;
  }
  mistake_evidence found;
  pair_budget pairs;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (!count_case_evidence(files.output_f, cases[i], neighbours_of(cases, i), found, pairs)) {
      return;
    }
  }
  evidence = std::move(found);
}

}  // namespace

std::size_t kept_keys(std::int64_t table_size) {
  // Enough for a line of a larger case shifted into this one to be recognised, and still a
  // report of a few kilobytes; one more than the table holds is enough to judge a line Wrong and
  // to show that it is too long, so what a line costs is bounded by its table, not its length.
  constexpr std::int64_t least_kept_keys = 1024;
  return static_cast<std::size_t>(std::max(table_size + 1, least_kept_keys));
}

std::string start_run(const run_request& request, run_files& files) {
  files.input_f.path = request.input_path;
  files.input.reset(open_for_reading(request.input_path));
  files.input_f.file = files.input.get();
  if (files.input == nullptr) {
    return file_failure_line("Input File", request.input_path, file_step::open);
  }
  files.output_f.path = request.output_path;
  files.output_f.parser.any_separator = request.any_separator;
  if (!request.answer_only) {
    files.output.reset(open_for_reading(request.output_path));
    files.output_f.file = files.output.get();
    if (files.output == nullptr) {
      return file_failure_line("Output File", request.output_path, file_step::open);
    }
  }
  return read_case_count(files);
}

void run_cases(const run_request& request, run_files& files, std::span<const renderer_slot> slots,
               run_summary& summary) {
  summary.case_count = files.case_count;
  shape_pass pass;
  pass.judging = request.diagnose && !request.answer_only;
  pass.diagnose = request.diagnose;
  if (pass.judging) {
    pass.gather_prior = [&request](mistake_evidence& evidence) {
      gather_from_files(request, evidence);
    };
  }
  // A diagnosis may need the next case's layouts, so then each case is read and built one case
  // ahead; otherwise only one case is ever held, and a large case's submitted lines are read
  // while it is built (the output file is then at that case's lines). Diagnosed, the lines of a
  // file's only case are read while it is built (with a next case, how many keys each line keeps
  // hangs on the next case's layouts, unread yet), and only on a thread, so that a run without
  // one reads as it always did.
  line_prefetch lines_ahead;
  line_prefetch* ahead = request.answer_only || request.diagnose ? nullptr : &lines_ahead;
  // The current case last; before it, the cases that events held back still refer to.
  std::deque<case_result> cases(1);
  read_status current_read =
      request.answer_only || !request.diagnose
          ? next_case(files, 0, cases.back(), ahead)
          : next_case(files, 0, cases.back(), files.case_count == 1 ? &lines_ahead : nullptr,
                      static_cast<int>(strategy_count));
  std::optional<layouts> previous;  // the case before the current one, once let go
  neighbours around;
  for (std::int64_t i = 0; i < files.case_count; ++i) {
    case_result& current = cases.back();
    if (current_read != read_status::line) {
      end_early(files, current_read, i, summary);
      break;
    }
    const bool has_next = i + 1 < files.case_count;
    case_result next;
    read_status next_read = read_status::end;
    if (request.diagnose && has_next) next_read = next_case(files, i + 1, next);
    const bool next_built = next_read == read_status::line && next.state == case_state::built;
    around.below = {};
    if (next_built) layouts_below(next.expected, around);
    case_tally tally;
    summary.error = run_case(request, files, slots, current, tally, around, &pass,
                             request.answer_only ? nullptr : &lines_ahead, summary);
    count_case(current, tally, summary);
    if (!summary.error.empty()) break;
    // The case's layouts are the next one's lines above: kept in place while an event held back
    // refers to the case, else moved out and the case let go.
    const auto referred = [&](const case_result& record) {
      return std::any_of(pass.held.begin(), pass.held.end(),
                         [&](const held_event& e) { return e.record == &record; });
    };
    while (cases.size() > 1 && !referred(cases.front())) cases.pop_front();
    around.above = {};
    previous.reset();
    if (request.diagnose && current.state == case_state::built) {
      if (!referred(current)) previous = std::move(current.expected);
      layouts_above(previous ? *previous : current.expected, around);
    }
    if (!referred(current)) cases.pop_back();
    if (!request.diagnose && has_next) next_read = next_case(files, i + 1, next, ahead);
    cases.push_back(std::move(next));
    current_read = next_read;
  }
  summary.completed = summary.error.empty();
  finish_shape(pass, files.output_f, slots, summary.completed, summary);
  files.shape = summary.shape;
}

std::string swapped_files_hint(std::int64_t numbers) {
  if (numbers <= 1) return "";
  return "INPUT's first line holds " + std::to_string(numbers) +
         " numbers: is it an output file? The input file comes first.";
}

void read_all_cases(run_files& files, std::vector<case_result>& cases, run_summary& summary) {
  summary.case_count = files.case_count;
  for (std::int64_t i = 0; i < files.case_count; ++i) {
    case_result record;
    const read_status read = next_case(files, i, record);
    if (read != read_status::line) {
      end_early(files, read, i, summary);
      if (!summary.error.empty()) return;
      break;
    }
    count_case(record, case_tally{}, summary);
    cases.push_back(std::move(record));
  }
  summary.completed = true;
}

read_status read_next_case(run_files& files, std::int64_t number, case_result& record) {
  return next_case(files, number, record);
}

read_status read_next_case_keys(run_files& files, std::int64_t number, case_result& record) {
  record = case_result{};
  record.number = number;
  if (number >= files.case_count) return read_status::end;
  return read_case(
      files.input_f, record, [](const parsed_line& /*size_line*/) {}, every_case);
}

std::string not_built_message(const run_files& files, const case_result& record) {
  return not_built_line(files.input_f, record);
}

submission_state grade_submission(const run_request& request, std::span<const case_result> cases,
                                  const run_summary& input, std::span<const renderer_slot> slots,
                                  run_summary& summary) {
  run_files files;
  const submission_state opened = open_submission(request, files);
  if (opened != submission_state::graded) {
    summary.error = "Output File " + request.output_path + " " + std::string(state_text(opened));
    return opened;
  }
  // A class run always says what shape a submission is in; the layouts are all built already.
  shape_pass pass;
  pass.judging = true;
  pass.diagnose = request.diagnose;
  if (request.diagnose) {
    pass.gather_prior = [&request, cases](mistake_evidence& evidence) {
      gather_from_cases(request, cases, evidence);
    };
  }
  summary.case_count = input.case_count;
  submission_state state = submission_state::graded;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const case_result& record = cases[i];
    case_tally tally;
    beside_job beside{slots, &record};
    begin_case_beside(&beside);
    held_event begin{held_event::kind::begin_case, &record, {}, {}, 0};
    tell(&pass, slots, begin);
    const bool read =
        grade_case(request, files, slots, record, tally, neighbours_of(cases, i), &pass);
    count_case(record, tally, summary);
    if (!read) {
      summary.error = file_failure_line("Output File", request.output_path, file_step::read);
      state = submission_state::read_failed;
      break;
    }
    held_event end{held_event::kind::end_case, &record, {}, tally, 0};
    tell(&pass, slots, end);
  }
  finish_shape(pass, files.output_f, slots, summary.error.empty(), summary);
  if (state != submission_state::graded) return state;
  summary.ended_early = input.ended_early;
  summary.ended_message = input.ended_message;
  summary.completed = true;
  return submission_state::graded;
}
