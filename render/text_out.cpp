#include "render/text_out.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>

namespace {
constexpr std::size_t flush_threshold = text_flush_threshold;
constexpr std::int64_t writeback_step = std::int64_t{8} << 20;

// Starts, without waiting, the disk writes of what was written since the last call. Only a
// hint: a file system or stream that can't take it is synced as before.
void hand_to_disk(text_out& out) {
  if (out.bytes_written - out.bytes_handed_to_disk < writeback_step) return;
  ::sync_file_range(::fileno(out.file), out.bytes_handed_to_disk,
                    out.bytes_written - out.bytes_handed_to_disk, SYNC_FILE_RANGE_WRITE);
  out.bytes_handed_to_disk = out.bytes_written;
}

}  // namespace

bool flush_text(text_out& out) {
  if (!out.failed) {
    const std::size_t written = std::fwrite(out.pending.data(), 1, out.pending.size(), out.file);
    if (written != out.pending.size() || std::fflush(out.file) != 0) out.failed = true;
    out.bytes_written += static_cast<std::int64_t>(written);
    if (out.early_writeback && !out.failed) hand_to_disk(out);
  }
  out.pending.clear();
  return !out.failed;
}

bool flush_text_to_disk(text_out& out) {
  if (!flush_text(out) || !out.early_writeback) return !out.failed;
  if (::fdatasync(::fileno(out.file)) != 0) out.failed = true;
  out.bytes_handed_to_disk = out.bytes_written;
  return !out.failed;
}

void put_text_through(text_out& out, std::string_view text) {
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
  out.bytes_written += static_cast<std::int64_t>(text.size());
}

void put_number(text_out& out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  put_text(out, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

std::string_view console_name(const text_out& out) {
  return out.file == stderr ? "standard error" : "standard output";
}
