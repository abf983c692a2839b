// The gradebook: one CSV row per submission, as RFC 4180 has it, with line feeds (not CR LF)
// ending the rows so that it diffs and greps like any other text file of the project.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "checker/gradebook.h"
#include "render/text_out.h"

/// `field` as one CSV field that a spreadsheet shows as text. A field beginning with "=", "+",
/// "-", "@", a tab or a CR, which a spreadsheet would take for a formula, gets a "'" before it;
/// each byte that is not part of well-formed UTF-8 becomes U+FFFD; then the field is put in
/// double quotes, each quote doubled, when it holds a comma, a quote, a CR or an LF. Every other
/// byte stays as it is.
void put_csv_field(text_out& out, std::string_view field);

/// As put_csv_field, but always in double quotes, for importers that want every field quoted.
void put_quoted_csv_field(text_out& out, std::string_view field);

/// The header row: submission,right,all,score,state,case_0,...,case_{case_count-1},mistakes,
/// wrong_lines,separators; then student, when `student_column` (a class matched to a roster), and
/// input, when `input_column` (each student graded against their own input).
void put_csv_header(text_out& out, std::size_t case_count, bool student_column = false,
                    bool input_column = false);

/// A submission's row. A submission that was not graded has empty number and case fields, and a
/// case that was not graded an empty field. `mistakes` lists each mistake that Wrong lines named
/// as id:lines, in catalogue order (mistake_catalogue), joined by ";"
/// (no_wrap_around:2;probes_off_by_one:1); `wrong_lines` each Wrong line as case:strategy key, in
/// file order (3:double_hashing). Both are empty when there is nothing to list, and need no
/// quoting. `separators` is how its keys were read: "spaces" (single spaces) or "any". With
/// `student` (a class matched to a roster) its text follows, and with `input` the input it was
/// graded against (empty when none).
void put_csv_row(text_out& out, const submission_row& row, const std::string* student = nullptr,
                 const std::string* input = nullptr);
