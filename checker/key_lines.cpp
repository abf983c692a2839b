#include "checker/key_lines.h"

#include <cstddef>

std::string quote_token(std::string_view token, bool cut) {
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
  if (token.size() > shown || cut) quoted += "...";
  return quoted + "\"";
}
