#include "render/html_writer.h"

#include <charconv>

#include "render/escape_runs.h"
#include "render/json_writer.h"

namespace {

constexpr std::string_view replacement = "&#xFFFD;";

bool plain_ascii(unsigned char byte) {
  if (byte == '\t' || byte == '\n') return true;
  const bool special = byte == '&' || byte == '<' || byte == '>' || byte == '"' || byte == '\'';
  return byte >= 0x20 && byte < 0x7f && !special;
}

// How many bytes at the start of `text` go out unchanged; 0 when the first needs replacing. A
// run of plain ASCII is measured whole, so the escaping loop takes it in one step.
std::size_t unchanged_length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead >= 0x80) return utf8_sequence_length(text);
  std::size_t length = 0;
  while (length < text.size() && plain_ascii(static_cast<unsigned char>(text[length]))) ++length;
  return length;
}

std::string_view reference_for(char byte) {
  switch (byte) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&#39;";
    default:
      return replacement;
  }
}

}  // namespace

void append_html(std::string& html, std::string_view text) {
  escape_runs(
      text, unchanged_length, [&html](std::string_view run) { html.append(run); },
      [&html](std::string_view rest) {
        html.append(reference_for(rest[0]));
        return std::size_t{1};
      });
}

void append_url_segment(std::string& html, std::string_view name) {
  constexpr std::string_view hex = "0123456789ABCDEF";
  for (const char byte : name) {
    const auto code = static_cast<unsigned char>(byte);
    const bool unreserved = (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z') ||
                            (code >= '0' && code <= '9') || byte == '-' || byte == '.' ||
                            byte == '_' || byte == '~';
    if (unreserved) {
      html += byte;
      continue;
    }
    html += '%';
    html += hex[code >> 4U];
    html += hex[code & 0xfU];
  }
}

void append_html_number(std::string& html, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  html.append(digits, result.ptr);
}

void append_grouped_number(std::string& html, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  const std::string_view text(digits, static_cast<std::size_t>(result.ptr - digits));
  const std::size_t sign = text.front() == '-' ? 1 : 0;
  const std::size_t count = text.size() - sign;
  html.append(text.substr(0, sign));
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && (count - i) % 3 == 0) html += ',';
    html += text[sign + i];
  }
}

std::string html_number(std::int64_t value) {
  std::string text;
  append_html_number(text, value);
  return text;
}

std::string grouped_number(std::int64_t value) {
  std::string text;
  append_grouped_number(text, value);
  return text;
}
