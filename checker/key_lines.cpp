#include "checker/key_lines.h"

#include <charconv>
#include <cstdint>

namespace {

bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Appends a key line without going through the buffer's size check for every key.
void append_keys(text_out& out, const key_list& keys, bool space_after_last) {
  std::string& text = out.pending;
  char digits[16];
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto result = std::to_chars(digits, digits + sizeof digits, keys[i]);
    text.append(digits, result.ptr);
    if (space_after_last || i + 1 < keys.size()) text.push_back(' ');
    if (text.size() >= (std::size_t{1} << 20)) flush_text(out);
  }
  put_text(out, "\n");
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
  std::size_t position = 0;
  while (position <= line.size()) {
    std::size_t found = delimiter.empty() ? std::string_view::npos : line.find(delimiter, position);
    if (found == std::string_view::npos) found = line.size();
    const std::string_view token = line.substr(position, found - position);
    key value = 0;
    const token_fault fault = token.empty() ? token_fault::blank : token_value(token, value);
    if (fault == token_fault::none) {
      result.keys.push_back(value);
    } else if (fault != token_fault::blank) {
      result.fault = fault;
      result.token = token;
      return result;
    }
    position = found + (found == line.size() ? 1 : delimiter.size());
  }
  return result;
}

void print_keys(text_out& console, const key_list& keys) { append_keys(console, keys, true); }

void print_and_write_keys(text_out& console, text_out& answer_file, const key_list& keys) {
  char digits[16];
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto result = std::to_chars(digits, digits + sizeof digits, keys[i]);
    const std::string_view number(digits, static_cast<std::size_t>(result.ptr - digits));
    console.pending.append(number).push_back(' ');
    answer_file.pending.append(number);
    if (i + 1 < keys.size()) answer_file.pending.push_back(' ');
    if (console.pending.size() >= (std::size_t{1} << 20)) flush_text(console);
    if (answer_file.pending.size() >= (std::size_t{1} << 20)) flush_text(answer_file);
  }
  put_text(console, "\n");
  put_text(answer_file, "\n");
}

void write_keys(text_out& answer_file, const key_list& keys) {
  append_keys(answer_file, keys, false);
}

bool same_keys(const key_list& a, const key_list& b) { return a == b; }

std::string quote_token(std::string_view token) {
  constexpr std::size_t shown = 40;
  static constexpr char hex[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (std::size_t i = 0; i < token.size() && i < shown; ++i) {
    const auto byte = static_cast<unsigned char>(token[i]);
    if (byte == '"' || byte == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(byte);
    } else if (byte < 0x20 || byte >= 0x7f) {
      quoted += "\\x";
      quoted += hex[byte >> 4];
      quoted += hex[byte & 0xf];
    } else {
      quoted += static_cast<char>(byte);
    }
  }
  if (token.size() > shown) quoted += "...";
  return quoted + "\"";
}

std::string_view fault_text(token_fault fault) {
  return fault == token_fault::out_of_range ? "is outside the signed 32-bit range"
                                            : "has no leading number";
}
