// Readable text that the Gradescope and JUnit reports share: layouts cut to a bounded length and
// one account per submitted line. Bytes of paths and tokens are copied as they are; the caller's
// escaping makes them safe for its format.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "checker/results.h"
#include "hashing/hash_table.h"

/// At most this many keys of a layout appear in readable text, so a case's text stays a few
/// kilobytes however large its table is.
inline constexpr std::size_t shown_keys = 200;

/// Appends the first `shown_keys` keys separated by single spaces, then " … (N more)" when the
/// list is longer; "(no slots)" for the empty list.
void append_capped_keys(std::string& text, const key_list& keys);

/// Why a submitted line could not be compared: "Output File PATH line N is missing" or
/// "Output File PATH line N: token "T" has no leading number" ("T..." when the kept token was
/// cut). Empty when the line has no problem.
std::string line_problem_message(std::string_view output_path, const line_result& result);

/// Two indented lines: "  expected:  KEYS" and "  submitted: KEYS" (or the problem text), each
/// ended by a line feed.
void append_expected_and_submitted(std::string& text, const key_list& expected,
                                   std::string_view output_path, const line_result& result);

/// One indented line: "  submitted: KEYS" (or the problem text), ended by a line feed.
void append_submitted(std::string& text, std::string_view output_path, const line_result& result);

/// "Right", "Wrong" or "not graded".
std::string_view verdict_text(verdict judged);
