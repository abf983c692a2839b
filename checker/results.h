// Result records: what a run decided, case by case, for the console transcript, the answer file
// and every report to render. Renderers only read these; grading alone fills them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hashing/hash_table.h"
#include "hashing/wrong_variants.h"

/// "linear_probing", "two_pass_hashing" or "double_hashing": the name reports use as data.
std::string_view strategy_key(strategy_id strategy);

/// "linear probing", "two-pass hashing" or "double hashing": the name people read.
std::string_view strategy_title(strategy_id strategy);

/// Why a token gave no key. `blank` (white space alone) is not a fault: it adds no key.
enum class token_fault { none, blank, no_number, out_of_range };

/// The message text for a token fault, such as "has no leading number".
std::string_view fault_text(token_fault fault);

/// `built`: the three layouts exist. `refused`: the input can't be built (bad token, negative key,
/// size out of range...). `not_built`: a valid size whose table could not be allocated.
enum class case_state { built, refused, not_built };

enum class line_problem { none, missing, bad_token };
enum class verdict { none, right, wrong };  // `none` in answer-only mode and for unbuilt cases

struct diagnosis;

/// How many leading bytes of a bad token a record keeps, whatever the token's length.
inline constexpr std::size_t kept_token_bytes = 256;

/// A token that gave a key only by a lenient reading: a "+" sign, leading zeros, leading white
/// space or trailing bytes after the digits ("4x" is 4).
struct lenient_token {
  std::size_t index = 0;  // position of its key in the line's key list
  std::string text;       // the token's first bytes, at most `kept_token_bytes`
};

/// One submitted line of the output file as read and judged.
struct line_result {
  strategy_id strategy = strategy_id::linear_probing;
  std::int64_t output_line = 0;  // 1-based line of the output file
  line_problem problem = line_problem::none;
  key_list submitted;  // the keys as parsed; empty unless `problem` is none
  // Keys read past the first table size + 1 and not kept: the line is Wrong by its length alone.
  std::int64_t truncated_keys = 0;
  std::string token;       // a bad token's first bytes (at most `kept_token_bytes`)
  bool token_cut = false;  // the bad token was longer than `token`
  token_fault fault = token_fault::none;
  std::vector<lenient_token> notes;  // the first few tokens read leniently
  verdict judged = verdict::none;
  // Why a Wrong line is wrong (checker/diagnosis.h); null for a Right line, and when the run was
  // not asked to diagnose.
  std::shared_ptr<const diagnosis> details;
  // True when the reveal filter cleared the submitted part (submitted, truncated_keys, problem,
  // token, token_cut, fault, notes) for a student's view: a report writes that part as absent.
  bool submission_withheld = false;
};

/// One case of the input file as read and built. Once built it is never written again: every
/// submission graded against it shares it, and its lines and tallies are each submission's own
/// (line_result, case_tally).
struct case_result {
  std::int64_t number = 0;      // from 0
  std::int64_t size_line = 0;   // 1-based line of the input file holding the table size
  std::int64_t table_size = 0;  // 0 when the size line holds no key
  case_state state = case_state::built;
  std::string message;  // the refusal or allocation failure line, no line feed
  key_list first_keys;
  key_list second_keys;
  layouts expected;  // all empty unless `state` is built
  // True when the reveal filter cleared the answer (first_keys, second_keys, expected and a
  // refusal's message) for a student's view: a report writes that part as absent.
  bool answer_withheld = false;
};

/// One submission's tally of a case.
struct case_tally {
  std::int64_t right_count = 0;   // lines judged right
  std::int64_t graded_count = 0;  // lines judged: 0 or 3
};

/// How much a report shows (checker/reveal.h). `all`: everything. `diagnosis`: the submitted
/// lines, verdicts, the first differing slot, the named mistake and notes on the file's shape.
/// `mistake`: each line's verdict and, for a Wrong line, the named mistake's sentence, with notes
/// on the file's shape that name no line. `verdict`: Right or Wrong per line and the totals.
/// `score`: the totals alone.
enum class reveal_level { all, diagnosis, mistake, verdict, score };

/// What every renderer learns before the first case.
struct run_header {
  std::string version;  // "1.1.0"
  bool answer_only = false;
  std::string input;  // the paths as given or defaulted
  std::string output;
  std::string answer_file;  // empty when no answer file is written
  reveal_level reveal = reveal_level::all;
  // In a class run, the name of the class's page beside each submission's own, which links back
  // to it; empty otherwise, and in a student's view.
  std::string class_page{};
  // Set by the reveal filter below `all`: the reader is the student, so a report words its
  // outcome for them ("All cases checked") rather than as the exit status. Wording only: what a
  // student may not see is already cleared from the records.
  bool student_view = false;
  // Submitted keys were read between any separators (--separators=any), not single spaces.
  bool any_separator{};
};

/// A run of output lines that hold the layouts of lines `lines` away: with `missing`, lines `first`
/// to `last` hold the layouts of lines first + lines to last + lines, as when lines `first` to
/// first + lines - 1 were left out; otherwise they hold those of lines first - lines to
/// last - lines, as when the `lines` lines before `first` were added.
struct line_shift {
  bool found = false;
  bool missing = true;
  // 1-based output lines; both 0 when the reveal filter withheld where the run lies.
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t lines = 1;  // how many lines look missing or extra
  /// The first line that looks missing (`first`) or extra (first - lines).
  [[nodiscard]] std::int64_t line() const { return missing ? first : first - lines; }
  /// True when output line `output_line` lies in the run.
  [[nodiscard]] bool holds(std::int64_t output_line) const {
    return found && output_line >= first && output_line <= last;
  }
};

/// The most lines a shift is looked for across below a line (missing lines), and the nearest
/// lines above it: one case's lines, so that a case left out or printed twice is found. Lines
/// further above are found through a digest of every layout expected so far.
inline constexpr auto max_shift_lines = static_cast<std::int64_t>(strategy_count);

/// How keys were separated when not by spaces, judged from the first line that shows it.
enum class key_separator { spaces, tabs, commas, semicolons, brackets };

/// A mistake, or pair of them, and how many of a submission's diagnosed Wrong lines it gives
/// exactly.
struct likely_mistake {
  named_mistake mistake;
  std::int64_t explains = 0;
  std::int64_t wrong_lines = 0;  // the submission's diagnosed Wrong lines, whatever explains them
  bool operator==(const likely_mistake&) const = default;
};

/// A submission's shape, judged over the whole output file as its lines are graded.
struct submission_shape {
  bool judged = false;  // false in answer-only mode, and when the run stopped before grading
  line_shift shift;     // the first run out of step
  key_separator separator = key_separator::spaces;
  std::int64_t extra_lines = 0;  // lines after the last line graded
  bool empty = false;            // no graded line holds a token: no bytes, or white space alone
  // Output lines past the file's end: the output was cut short, as a program stopped early gives.
  std::int64_t missing_lines = 0;
  // The program's mistake: every mistake that gives some diagnosed Wrong line exactly, the one
  // that gives the most first (ties in catalogue order). Empty without a diagnosis.
  std::vector<likely_mistake> likely{};
  std::int64_t wrong_lines = 0;        // Wrong lines diagnosed
  std::int64_t unexplained_lines = 0;  // of them, those no mistake gives
  // Runs out of step after the first, each named as it stands (blank lines between cases shift
  // every case a little further): how many, and the last of them.
  std::int64_t more_runs = 0;
  line_shift last_run{};
};

/// Totals and the outcome, known once the run has ended.
struct run_summary {
  std::int64_t case_count = 0;  // as line 1 of the input file gives it (0 before it is read)
  std::int64_t cases = 0;       // case records emitted
  std::int64_t right = 0;
  std::int64_t all = 0;
  std::int64_t score = 0;
  std::int64_t refused = 0;
  std::int64_t not_built = 0;
  bool ended_early = false;
  std::string ended_message;  // "Input File X ended after K of N cases", when it did
  bool completed = false;     // every case that the input holds was run
  int status = 0;             // the exit status, 0..255
  std::string error;          // the failure line that ended the run, empty when none
  submission_shape shape;     // judged only when lines are diagnosed, and in class runs
  // The tally of a case that a failure ended before its end_case (counted in right and all), so
  // that a report can still show the case's lines that were graded.
  case_tally unfinished;
};

/// A sink for result records. The run calls begin_run once, then for each case begin_case, then
/// in checking mode line three times (with verdict none and nothing parsed for a case that was not
/// built), then end_case with the submission's tally of the case, and finally end_run once, also
/// after a start-up failure (then with no case at all). A renderer only writes; `ok` turns false
/// at its first failed write.
class result_renderer {
 public:
  result_renderer() = default;
  result_renderer(const result_renderer&) = delete;
  result_renderer& operator=(const result_renderer&) = delete;
  virtual ~result_renderer() = default;
  virtual void begin_run(const run_header& /*header*/) {}
  /// Told once when the output file's shape is judged, as soon as whether the file is empty is
  /// settled: at its first graded line that holds a token (the shape then says only that), or
  /// after its last case. The whole shape is run_summary::shape at end_run.
  virtual void shape_judged(const submission_shape& /*shape*/) {}
  virtual void begin_case(const case_result& /*record*/) {}
  virtual void line(const case_result& /*record*/, const line_result& /*result*/) {}
  virtual void end_case(const case_result& /*record*/, const case_tally& /*tally*/) {}
  virtual void end_run(const run_summary& /*summary*/) {}
  [[nodiscard]] virtual bool ok() const { return true; }
};

/// A renderer of each case's layouts alone, as the answer file is. A run may tell it begin_case on
/// a second thread while the case's lines are graded on the first (see renderer_slot): it is
/// handed only the built case, which nothing writes once built, and hears no line or end_case.
class layout_renderer : public result_renderer {
 public:
  void line(const case_result& /*record*/, const line_result& /*result*/) final {}
  void end_case(const case_result& /*record*/, const case_tally& /*tally*/) final {}
};
