// Grading of submitted lines against the ground truth.
#pragma once

#include <cstdint>

#include "checker/key_line_stream.h"
#include "checker/line_reader.h"
#include "checker/results.h"

/// Judges one submitted line: a missing line (`status` end) and a line with a bad token are Wrong
/// and say why; any other line is Right exactly when its keys equal `truth`, zeros and length
/// included. The parsed keys and notes move into `result` (swap them back to reuse their room).
void grade_line(read_status status, parsed_line& parsed, const key_list& truth,
                line_result& result);

/// Percentage of matching lines, rounded down; 0 when no line was compared.
std::int64_t score(std::int64_t success_count, std::int64_t all_count);
