// A submission's shape, judged line by line as the one reading pass grades it: a missing or extra
// line that puts every later line out of step, keys written with the wrong separator, and lines
// after the last one graded. Memory is a few counters, never by the file.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "checker/key_line_stream.h"
#include "checker/results.h"

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

/// Finds the first run of two or more Wrong lines that each hold the layout of the next line
/// (missing) or of the previous one (extra), fed the submitted lines in order. Right lines inside
/// a run (neighbouring layouts that are equal) neither break nor start it. The earliest run wins,
/// so whether a line lies in the run found may hang on lines not yet fed: settled_before says up
/// to where it no longer can.
class shift_finder {
 public:
  /// Fed with step alone.
  shift_finder() = default;
  /// Fed with line: `expected` holds one digest per graded output line, in order; kept by
  /// reference.
  explicit shift_finder(std::span<const std::uint64_t> expected) : expected_(expected) {}
  /// The next submitted line's digest; lines past the expected ones are ignored.
  void line(std::uint64_t submitted);
  /// The next submitted line as its reader judged it: Wrong (or of a case not built), holding the
  /// layout the next output line expects, holding the one the previous output line expects.
  void step(bool wrong, bool holds_next, bool holds_previous);
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
  void step(open_run& run, bool holds_neighbour, bool wrong, bool missing);
  void close(open_run& run, bool missing);
  std::span<const std::uint64_t> expected_{};
  std::int64_t at_ = 0;  // lines fed
  open_run missing_;
  open_run extra_;
  line_shift found_;
};
