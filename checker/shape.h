// A submission's shape, judged line by line as the one reading pass grades it: a missing or extra
// line that puts every later line out of step, keys written with the wrong separator, and lines
// after the last one graded. Memory is a few counters, never by the file.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "checker/diagnosis.h"
#include "checker/key_line_stream.h"
#include "checker/results.h"
#include "checker/run.h"

/// "tabs", "commas", "semicolons" or "brackets"; "spaces" for the ordinary case.
std::string_view separator_key(key_separator separator);

/// The separator a token read leniently or refused reveals ("3\t0" tabs, "[3" brackets), or
/// `spaces` when it reveals none.
key_separator separator_of(std::string_view token);

/// The separator a parsed line reveals through its bad token or its lenient tokens.
key_separator separator_of(const parsed_line& line);

/// A 64-bit digest of a layout or a submitted line's keys; never `no_layout`.
std::uint64_t layout_digest(const key_list& keys);

/// Stands for a line with no layout (a case not built) or no keys (missing, bad token): it
/// matches nothing.
inline constexpr std::uint64_t no_layout = 0;

/// Which layouts a submitted line holds, as bits: `shift_bit(missing, lines)` set when it holds the
/// layout expected `lines` output lines below it (missing) or above it.
using shift_holds = std::uint32_t;
constexpr shift_holds shift_bit(bool missing, std::int64_t lines) {
  return shift_holds{1} << (2 * (lines - 1) + (missing ? 0 : 1));
}

/// Finds the first run of two or more Wrong lines that each hold the layout of the line the same
/// number of lines below (missing) or above (extra), up to max_shift_lines, fed the submitted
/// lines in order. Right lines inside a run (layouts that are equal) neither break nor start it.
/// The earliest run wins (of two from the same line, the one that ends first), so whether a line
/// lies in the run found may hang on lines not yet fed: settled_before says up to where it no
/// longer can.
class shift_finder {
 public:
  /// Fed with step alone.
  shift_finder() = default;
  /// Fed with line: `expected` holds one digest per graded output line, in order; kept by
  /// reference.
  explicit shift_finder(std::span<const std::uint64_t> expected) : expected_(expected) {}
  /// The next submitted line's digest; lines past the expected ones are ignored.
  void line(std::uint64_t submitted);
  /// The next submitted line as its reader judged it: Wrong (or of a case not built), and the
  /// layouts of other output lines it holds.
  void step(bool wrong, shift_holds holds);
  /// As above, holding the layout of the next output line, of the previous one.
  void step(bool wrong, bool holds_next, bool holds_previous) {
    step(wrong,
         (holds_next ? shift_bit(true, 1) : 0U) | (holds_previous ? shift_bit(false, 1) : 0U));
  }
  /// The lines fed so far.
  [[nodiscard]] std::int64_t fed() const { return at_; }
  /// Output lines below this one (1-based) are settled: the run that holds them, if any, is
  /// settled(); lines from it on wait for later lines. Past every line fed when none waits.
  [[nodiscard]] std::int64_t settled_before() const;
  /// The run that, once every line is fed, holds each settled line it holds now.
  [[nodiscard]] line_shift settled() const;
  /// The run found, ending any run still open; every line is settled after it.
  [[nodiscard]] line_shift finish();

 private:
  struct open_run {
    std::int64_t first_wrong = 0;  // 0: no Wrong line yet
    std::int64_t last = 0;
    std::int64_t wrong = 0;
    bool open = false;
    [[nodiscard]] bool counts() const { return open && wrong >= 2; }
  };
  // One run a distance and direction, in shift_bit's order: of two runs from the same line that
  // end together, the nearer one wins, and the missing one before the extra one.
  static constexpr std::size_t run_count = 2 * static_cast<std::size_t>(max_shift_lines);
  [[nodiscard]] static line_shift shift_of(std::size_t index, const open_run& run);
  void step(std::size_t index, bool holds_layout, bool wrong);
  void close(std::size_t index);
  std::span<const std::uint64_t> expected_{};
  std::int64_t at_ = 0;  // lines fed
  std::array<open_run, run_count> runs_{};
  line_shift found_;
};

// ---- The shape as the run's one reading pass judges it, as the lines are graded ----

/// The expected layouts of the output lines before and after a case, for a line shifted across a
/// case boundary: `above[0]` just above the case, `above[1]` the one above that, and so down from
/// `below[0]` just below it; null where unknown or not built.
struct neighbours {
  std::array<const key_list*, max_shift_lines> above{};
  std::array<const key_list*, max_shift_lines> below{};
};

/// Tells every renderer of `slots` the same event.
template <typename event_fn>
void tell_all(std::span<const renderer_slot> slots, event_fn event) {
  for (const renderer_slot& slot : slots) event(*slot.renderer);
}

/// An event held back until the lines before it are settled (see shift_finder).
struct held_event {
  enum class kind : std::uint8_t { begin_case, line, end_case };
  kind what = kind::line;
  const case_result* record = nullptr;
  line_result result;
  case_tally tally;
  std::int64_t fed = 0;  // a line's place among the lines fed to the finder, from 1
};

/// The shape as the one reading pass sees it. A diagnosed Wrong line is named shifted when the
/// run out of step that wins holds it, which may hang on lines not yet read: such a line waits,
/// and every event after it, until later lines settle it. Only lines that hold their neighbours'
/// layouts ever wait, so in practice a few lines at most.
struct shape_pass {
  bool judging = false;
  bool diagnose = false;  // lines carry diagnoses that the shift may rename
  shift_finder finder;
  std::deque<held_event> held;
  submission_shape shape;
  mistake_evidence prior;  // from a first read of the whole submission, when it could be read
  // Makes that first read into `prior`, when the first Wrong line two or more mistakes give is
  // diagnosed: a submission without one is read once only.
  std::function<void(mistake_evidence&)> gather_prior;
  mistake_evidence seen;  // from the lines told, as named at last
  pair_budget pairs;      // spent by the lines diagnosed in this read
  bool graded = false;    // a line of a built case was read
  bool token = false;     // such a line held a token
  bool told = false;      // shape_judged was told
};

/// Tells the events held back that are settled now, in order; every one with `all`.
void release(shape_pass& pass, std::span<const renderer_slot> slots, bool all = false);

/// Tells an event now, or holds it back behind the unsettled ones (or as one itself); true when it
/// was held, and `event` moved from.
bool tell(shape_pass* pass, std::span<const renderer_slot> slots, held_event& event);

/// Ends the shape once the last case's lines are read: counts the lines after them, tells every
/// event held back and, unless told already, the shape. A read that fails leaves it unjudged.
void finish_shape(shape_pass& pass, line_reader& output_f, std::span<const renderer_slot> slots,
                  bool completed, run_summary& summary);

/// The keys line `index` of a case keeps while the shape is judged: enough to hold its own layout
/// or either neighbour's, the only layouts it is compared with.
std::size_t shape_key_limit(const case_result& record, const neighbours& around, std::size_t index);

/// Takes line `index` of a case, read with `status`, into the shape (whether a built case's line
/// held a token, the separator) and says which other lines' layouts it holds, as shift_bit's bits.
shift_holds look_at_line(shape_pass& pass, const case_result& record, const neighbours& around,
                         std::size_t index, read_status status, const parsed_line& parsed);

/// Feeds the line to the finder once judged (a line of a case not built counts as Wrong), and tells
/// the renderers as soon as the file is known not to be empty: what a report says of the file as a
/// whole waits for that.
void feed_line(shape_pass& pass, std::span<const renderer_slot> slots, bool wrong,
               shift_holds holds);

/// Cuts a line read for the shape to the keys grading keeps, as a read with that limit would.
void keep_graded_keys(parsed_line& parsed, std::size_t key_limit);
