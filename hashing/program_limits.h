// The exit statuses of the program and the thresholds that several layers must agree on, in the
// lowest layer that needs one of them.
#pragma once

#include <cstdint>

/// Every case was built (and graded, in checking mode).
inline constexpr int success_status = 0;
/// The run completed, but a case was refused or not built, or the input ended early; for a class
/// run, a submission was not graded; for an audit, a mistake the input could reveal is missed.
inline constexpr int incomplete_status = 1;
/// A usage error: the run did not start.
inline constexpr int usage_status = 2;
/// With --fail-on-wrong: the run would end with success, but a graded line is Wrong.
inline constexpr int wrong_lines_status = 3;
/// A file could not be opened, read or written, a file is another's, or memory ran out.
inline constexpr int failure_status = 255;

/// Whether a table of `table_size` slots can take keys: sizes 0 and 2 would take a remainder by
/// zero (key mod m, key mod (m - 2)) as soon as a key is inserted, so a case of either size with
/// keys is refused.
constexpr bool table_takes_keys(std::int64_t table_size) {
  return table_size != 0 && table_size != 2;
}

/// From this many slots on, a case is large: its strategies' tables are filled on threads of
/// their own, its layouts are rendered beside the console on a second thread (and so the answer
/// file syncs them as it goes), and its submitted lines are read ahead. Below it, a thread costs
/// more than it saves.
inline constexpr std::int64_t large_case_slots = std::int64_t{1} << 16;
