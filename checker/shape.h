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
#include <unordered_map>
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

/// The distances (ascending, 0 for none) of lines further up than max_shift_lines whose layouts a
/// line holds: more than one, since strategies and cases often share a layout.
inline constexpr std::size_t far_slots = 4;
using far_lines = std::array<std::int64_t, far_slots>;

/// Finds every run of two or more Wrong lines that each hold the layout of the line the same
/// number of lines below (missing, up to max_shift_lines) or above (extra, any number), fed the
/// submitted lines in order. Right lines inside a run (layouts that are equal) neither break nor
/// start it. A Wrong line in several such runs is named by the one that starts first (of two
/// from the same line, the nearer, the missing one before the extra one), so whether a line lies
/// in a run may hang on lines not yet fed: settled_before says up to where it no longer can.
/// What it keeps is bounded by the lines not yet settled.
class shift_finder {
 public:
  /// Fed with step alone.
  shift_finder() = default;
  /// Fed with line: `expected` holds one digest per graded output line, in order; kept by
  /// reference.
  explicit shift_finder(std::span<const std::uint64_t> expected) : expected_(expected) {}
  /// The next submitted line's digest; lines past the expected ones are ignored.
  void line(std::uint64_t submitted);
  /// The next submitted line as its reader judged it: Wrong (or of a case not built), the layouts
  /// of the lines up to max_shift_lines away it holds, and those further up it holds.
  void step(bool wrong, shift_holds holds, const far_lines& far_above = {});
  /// The distances of the runs further up still open, which the next line continues when it holds
  /// their layouts.
  [[nodiscard]] far_lines open_far() const;
  /// As above, holding the layout of the next output line, of the previous one.
  void step(bool wrong, bool holds_next, bool holds_previous) {
    step(wrong,
         (holds_next ? shift_bit(true, 1) : 0U) | (holds_previous ? shift_bit(false, 1) : 0U));
  }
  /// The lines fed so far.
  [[nodiscard]] std::int64_t fed() const { return at_; }
  /// Output lines below this one (1-based) are settled; lines from it on wait for later lines.
  /// Past every line fed when none waits.
  [[nodiscard]] std::int64_t settled_before() const { return settled_; }
  /// The run that names settled output line `output_line` (not found when none), asked in order
  /// from the last line asked; only when kept_for_lines is set.
  [[nodiscard]] line_shift shift_of(std::int64_t output_line);
  /// Keeps each settled line's run until shift_of asks for it.
  bool kept_for_lines = false;
  /// Ends every run still open: every line is settled after it. The first run found.
  line_shift finish();
  /// The first run that names a line, and the runs after it.
  [[nodiscard]] const line_shift& first() const { return first_; }
  [[nodiscard]] std::int64_t more_runs() const { return more_runs_; }
  [[nodiscard]] const line_shift& last_run() const { return last_run_; }

 private:
  // One slot a distance and direction up to max_shift_lines, in shift_bit's order, then slots for
  // lines further above, each with its run's own distance.
  static constexpr std::size_t near_slots = 2 * static_cast<std::size_t>(max_shift_lines);
  static constexpr std::size_t slot_count = near_slots + far_slots;
  struct run_record {
    std::int64_t first_wrong = 0;  // 0: no Wrong line yet
    std::int64_t last = 0;
    std::int64_t wrong = 0;
    std::size_t slot = 0;
    std::int64_t distance = 1;
    bool closed = false;
  };
  struct open_slot {
    bool open = false;
    std::int64_t id = 0;
  };
  struct waiting_line {
    std::int64_t line = 0;
    bool wrong = false;
    std::array<std::int64_t, slot_count> runs{};  // ids of the runs holding it; -1 none
  };
  run_record& record(std::int64_t id) { return records_[static_cast<std::size_t>(id - first_id_)]; }
  void step_slot(std::size_t slot, std::int64_t distance, bool wrong, waiting_line& line);
  void settle();
  void settle(const waiting_line& line);
  std::span<const std::uint64_t> expected_{};
  std::int64_t at_ = 0;  // lines fed
  std::int64_t settled_ = 1;
  std::array<open_slot, slot_count> slots_{};
  std::deque<run_record> records_;  // runs that an open slot or a waiting line refers to
  std::int64_t first_id_ = 0;       // the id of records_.front()
  std::int64_t next_id_ = 0;
  std::deque<waiting_line> waiting_;
  std::deque<line_shift> named_;  // settled lines' runs, with kept_for_lines
  std::int64_t named_from_ = 1;   // the line named_.front() names
  line_shift first_;
  std::int64_t first_run_ = -1;  // its id
  std::int64_t last_id_ = -1;
  std::int64_t more_runs_ = 0;
  line_shift last_run_;
};

/// One digest per expected output line so far, for lines shifted further than a case's
/// neighbours: 16 bytes a line and an index, bounded by the input, never by the submission.
struct layout_index {
  std::vector<std::uint64_t> digests;     // no_layout for a case not built
  std::vector<std::int64_t> same_before;  // the nearest line above with the same digest, or -1
  std::unordered_map<std::uint64_t, std::int64_t> latest;
  void add(std::uint64_t digest);
  /// How many lines above output line `line` (1-based) lie the lines further than
  /// max_shift_lines above with the layout `digest`: those at the distances `open` first, then the
  /// nearest.
  [[nodiscard]] far_lines far_above(std::uint64_t digest, std::int64_t line,
                                    const far_lines& open) const;
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
  layout_index earlier;  // the layouts of the lines graded so far
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
/// held a token, the separator; the case's layouts, at its first line) and says which other
/// lines' layouts it holds, as shift_bit's bits, and in `far_above` those further up it holds.
shift_holds look_at_line(shape_pass& pass, const case_result& record, const neighbours& around,
                         std::size_t index, read_status status, const parsed_line& parsed,
                         far_lines& far_above);

/// Feeds the line to the finder once judged (a line of a case not built counts as Wrong), and tells
/// the renderers as soon as the file is known not to be empty: what a report says of the file as a
/// whole waits for that.
void feed_line(shape_pass& pass, std::span<const renderer_slot> slots, bool wrong,
               shift_holds holds, const far_lines& far_above);

/// Cuts a line read for the shape to the keys grading keeps, as a read with that limit would
/// (the line's whole digest kept).
void keep_graded_keys(parsed_line& parsed, std::size_t key_limit);
