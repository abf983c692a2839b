// The one loop behind every escaper (JSON, XML, HTML): bytes that need no escaping are copied in
// runs, and each alphabet says only which bytes those are and what stands for the others.
#pragma once

#include <cstddef>
#include <string_view>

/// Writes `text` through `put_run` and `put_escape`. `unchanged(rest)` tells how many bytes at
/// the start of `rest` go out as they are, 0 when the first needs escaping; `put_escape(rest)`
/// writes what stands for the bytes at the start of `rest` and returns how many it replaced (at
/// least 1). Each run of unchanged bytes goes to `put_run` in one piece.
template <typename unchanged_length, typename run_writer, typename escape_writer>
void escape_runs(std::string_view text, unchanged_length unchanged, run_writer put_run,
                 escape_writer put_escape) {
  std::size_t run_start = 0;  // bytes from here to `at` go out unchanged, in one piece
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = unchanged(text.substr(at));
    if (length > 0) {
      at += length;
      continue;
    }
    put_run(text.substr(run_start, at - run_start));
    at += put_escape(text.substr(at));
    run_start = at;
  }
  put_run(text.substr(run_start));
}
