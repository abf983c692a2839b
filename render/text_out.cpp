#include "render/text_out.h"

#include <charconv>

namespace {
constexpr std::size_t flush_threshold = std::size_t{1} << 20;
}

bool flush_text(text_out& out) {
  if (!out.failed) {
    const std::size_t written = std::fwrite(out.pending.data(), 1, out.pending.size(), out.file);
    if (written != out.pending.size() || std::fflush(out.file) != 0) out.failed = true;
  }
  out.pending.clear();
  return !out.failed;
}

void put_text(text_out& out, std::string_view text) {
  if (text.size() < flush_threshold) {
    out.pending.append(text);
    if (out.pending.size() >= flush_threshold) flush_text(out);
    return;
  }
  // A long text goes straight to the stream rather than through a copy in the buffer.
  flush_text(out);
  if (!out.failed && std::fwrite(text.data(), 1, text.size(), out.file) != text.size()) {
    out.failed = true;
  }
}

void put_number(text_out& out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  put_text(out, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}
