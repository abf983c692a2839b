// Key lines split whole, the plain way: the reference that the streaming parser
// (checker/key_line_stream.h) and the fuzz targets are checked against.
#pragma once

#include <string_view>

#include "checker/results.h"
#include "hashing/hash_table.h"

/// Value of a token: its leading decimal integer, after leading white space and one optional sign;
/// the rest of the token is ignored. Sets `value` only when the result is `none`.
token_fault token_value(std::string_view token, key& value);

/// Keys of a line and, when a token could not be converted, the first such token.
struct split_result {
  key_list keys;
  token_fault fault = token_fault::none;
  std::string_view token;   // the bad token, a view into the line that was split
  bool plain_form = false;  // the line is exactly the file form of `keys`, as write_keys puts it
};

/// Splits `line` at every occurrence of `delimiter` and converts each non-empty token; empty and
/// blank tokens add no key. Stops at the first token that is not a number or lies outside the
/// signed 32-bit range and reports it. Linear in the length of the line.
split_result split_keys(std::string_view line, std::string_view delimiter);

/// As `split_keys`, into `result`, whose key list keeps its room from earlier lines.
void split_keys_into(std::string_view line, std::string_view delimiter, split_result& result);

/// True when both lists hold the same keys in the same order.
bool same_keys(const key_list& a, const key_list& b);
