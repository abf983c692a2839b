// Input files written by the program itself: the case count, then per case its size line and
// its two key lines, in the form the checker reads.
#pragma once

#include <cstdint>

#include "checker/results.h"
#include "render/text_out.h"

/// The first line: the number of cases.
void write_case_count(text_out& out, std::int64_t count);

/// A case's size line ("M 0 0", the two other keys unused) and both key lines.
void write_input_case(text_out& out, const case_result& record);

/// A size line "M 0 0".
void write_size_line(text_out& out, std::int64_t table_size);
