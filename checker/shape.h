// A submission's shape, judged once over the whole output file before any line is graded: a
// missing or extra line that puts every later line out of step, keys written with the wrong
// separator, and lines after the last one graded. Memory goes by the number of graded lines (one
// hash each), never by the file.
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
/// (missing) or of the previous one (extra), fed the digests of the submitted lines in order.
/// Right lines inside a run (neighbouring layouts that are equal) neither break nor start it.
class shift_finder {
 public:
  /// `expected` holds one digest per graded output line, in order; kept by reference.
  explicit shift_finder(std::span<const std::uint64_t> expected) : expected_(expected) {}
  /// The next submitted line's digest; lines past the expected ones are ignored.
  void line(std::uint64_t submitted);
  /// The run found, ending any run still open.
  [[nodiscard]] line_shift finish();

 private:
  struct open_run {
    std::int64_t first_wrong = 0;  // 0: no Wrong line yet
    std::int64_t last = 0;
    std::int64_t wrong = 0;
    bool open = false;
  };
  void step(open_run& run, bool holds_neighbour, bool wrong, bool missing);
  void close(open_run& run, bool missing);
  std::span<const std::uint64_t> expected_;
  std::int64_t at_ = 0;  // lines fed
  open_run missing_;
  open_run extra_;
  line_shift found_;
};
