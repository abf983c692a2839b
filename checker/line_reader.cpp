#include "checker/line_reader.h"

#include <cstring>

namespace {

constexpr std::size_t block_size = std::size_t{1} << 16;

// Refills the block; false at the end of the file or on a read error.
bool refill(line_reader& reader) {
  if (reader.at_end) return false;
  reader.block.resize(block_size);
  reader.begin = 0;
  reader.end = std::fread(reader.block.data(), 1, block_size, reader.file);
  reader.bytes_read += reader.end;
  if (reader.end == 0) reader.at_end = true;
  return reader.end != 0;
}

read_status finish_line(std::string& text, bool ends_with_line_feed) {
  if (ends_with_line_feed && !text.empty() && text.back() == '\r') text.pop_back();
  return read_status::line;
}

}  // namespace

read_status read_line(line_reader& reader, std::string& text) {
  text.clear();
  ++reader.line_number;
  bool took_any = false;
  for (;;) {
    if (reader.begin == reader.end && !refill(reader)) {
      if (std::ferror(reader.file) != 0) return read_status::error;
      return took_any ? finish_line(text, false) : read_status::end;
    }
    const char* start = reader.block.data() + reader.begin;
    const std::size_t available = reader.end - reader.begin;
    const void* feed = std::memchr(start, '\n', available);
    took_any = true;
    if (feed != nullptr) {
      const auto length = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
      text.append(start, length);
      reader.begin += length + 1;
      return finish_line(text, true);
    }
    if (text.size() + available > text.capacity() && reader.size_hint > reader.bytes_read) {
      text.reserve(text.size() + available + (reader.size_hint - reader.bytes_read));
    }
    text.append(start, available);
    reader.begin = reader.end;
  }
}
