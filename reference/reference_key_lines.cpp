#include "reference/reference_key_lines.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace {

bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// True when a token that converted is written exactly as its value is: an optional '-' and
// digits, no leading zero, no "-0", nothing else.
bool is_plain_number(std::string_view token) {
  const std::size_t sign = token[0] == '-' ? 1 : 0;
  if (token.size() == sign) return false;
  if (token[sign] == '0') return token.size() == 1;
  return std::all_of(token.begin() + static_cast<std::ptrdiff_t>(sign), token.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

token_fault token_value(std::string_view token, key& value) {
  std::size_t at = 0;
  while (at < token.size() && is_white_space(token[at])) ++at;
  if (at == token.size()) return token_fault::blank;
  const bool negative = token[at] == '-';
  if (token[at] == '+' || negative) ++at;
  const std::size_t digits_start = at;
  while (at < token.size() && token[at] >= '0' && token[at] <= '9') ++at;
  if (at == digits_start) return token_fault::no_number;
  // The magnitude of -2^31 does not fit the positive range, so convert the sign with the digits.
  std::int64_t magnitude = 0;
  for (std::size_t i = digits_start; i < at; ++i) {
    magnitude = magnitude * 10 + (token[i] - '0');
    if (magnitude > (std::int64_t{1} << 31)) return token_fault::out_of_range;
  }
  const std::int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > INT32_MAX) return token_fault::out_of_range;
  value = static_cast<key>(signed_value);
  return token_fault::none;
}

split_result split_keys(std::string_view line, std::string_view delimiter) {
  split_result result;
  split_keys_into(line, delimiter, result);
  return result;
}

namespace {

// Splits at any delimiter, converting each token with token_value.
void split_general(std::string_view line, std::string_view delimiter, split_result& result) {
  result.plain_form = delimiter == " ";
  std::size_t position = 0;
  while (position <= line.size()) {
    std::size_t found = delimiter.empty() ? std::string_view::npos : line.find(delimiter, position);
    if (found == std::string_view::npos) found = line.size();
    const std::string_view token = line.substr(position, found - position);
    key value = 0;
    const token_fault fault = token.empty() ? token_fault::blank : token_value(token, value);
    if (fault == token_fault::none) {
      result.keys.push_back(value);
      result.plain_form = result.plain_form && is_plain_number(token);
    } else if (fault != token_fault::blank) {
      result.fault = fault;
      result.token = token;
      result.plain_form = false;
      return;
    } else if (!line.empty()) {
      result.plain_form = false;  // spaces at an end, in a run, or around white space
    }
    position = found + (found == line.size() ? 1 : delimiter.size());
  }
}

// Reads a token of an optional '-' and at most ten digits that ends at a space or the end of the
// text; returns the position after it, or null when the token is anything else.
const char* simple_token(const char* at, const char* end, std::int64_t& value, bool& plain) {
  const bool negative = at < end && *at == '-';
  const char* const digits = at + (negative ? 1 : 0);
  const char* stop = digits;
  std::int64_t magnitude = 0;
  for (; stop < end && stop - digits <= 10 && *stop >= '0' && *stop <= '9'; ++stop) {
    magnitude = magnitude * 10 + (*stop - '0');
  }
  if (stop == digits || stop - digits > 10 || (stop < end && *stop != ' ')) return nullptr;
  value = negative ? -magnitude : magnitude;
  plain = *digits != '0' || (stop - digits == 1 && !negative);
  return stop;
}

}  // namespace

void split_keys_into(std::string_view line, std::string_view delimiter, split_result& result) {
  result.keys.clear();
  result.fault = token_fault::none;
  result.token = {};
  if (delimiter.size() == 1) {
    result.keys.reserve(
        static_cast<std::size_t>(std::count(line.begin(), line.end(), delimiter[0])) + 1);
  }
  if (delimiter != " ") return split_general(line, delimiter, result);
  // The usual line, plain numbers and single spaces, in one pass; any other token, and every
  // empty one, goes the general way from where it starts.
  const char* at = line.data();
  const char* const end = at + line.size();
  bool plain = true;
  for (;;) {
    std::int64_t value = 0;
    bool plain_token = false;
    const char* stop = simple_token(at, end, value, plain_token);
    if (stop == nullptr || value < INT32_MIN || value > INT32_MAX) break;
    result.keys.push_back(static_cast<key>(value));
    plain = plain && plain_token;
    if (stop == end) {
      result.plain_form = plain;
      return;
    }
    at = stop + 1;
  }
  const auto done = static_cast<std::size_t>(at - line.data());
  split_result rest;
  split_general(line.substr(done), delimiter, rest);
  result.keys.insert(result.keys.end(), rest.keys.begin(), rest.keys.end());
  result.fault = rest.fault;
  result.token = rest.token;
  // An empty rest after a space means the line ended in a space: not the file form.
  result.plain_form = plain && rest.plain_form && (done == 0 || done < line.size());
}

bool same_keys(const key_list& a, const key_list& b) { return a == b; }
