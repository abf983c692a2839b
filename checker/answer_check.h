// Grading of submitted lines against the ground truth, and the closing summary.
#pragma once

#include <cstdint>
#include <string>

#include "checker/line_reader.h"
#include "checker/text_out.h"
#include "hashing/hash_table.h"

/// Reads the case's three submitted lines into `test_line`, echoes each as parsed and judges it
/// against the matching layout, prints the case's tally and adds to the two totals. A missing
/// line or one with a bad token is judged Wrong and its echo says why. Returns false, with the
/// totals unchanged, only when reading the output file fails.
bool check_case(line_reader& output_f, std::string& test_line, const key_list& linear_prob_contents,
                const key_list& two_pass_hasing_contents, const key_list& double_hasing_contents,
                std::int64_t& success_count, std::int64_t& all_count, text_out& console);

/// Percentage of matching lines, rounded down; 0 when no line was compared.
std::int64_t score(std::int64_t success_count, std::int64_t all_count);

/// Prints the totals and the score, and the number of refused cases when there were any.
void print_summary(text_out& console, std::int64_t success_count, std::int64_t all_count,
                   std::int64_t refused_count);
