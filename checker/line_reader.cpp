#include "checker/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t block_size = std::size_t{1} << 16;
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr char carriage_return = '\r';

// Reads what the file holds now into the block after its first `from` bytes: the count read, 0
// at the end of the file, below 0 on an error. read(2) rather than fread: it hands over what a
// pipe holds now instead of waiting for a whole block, so a run fed through a FIFO keeps pace
// with its writer.
ssize_t read_some(line_reader& reader, std::size_t from) {
  ssize_t got = 0;
  do {
    got = ::read(::fileno(reader.file), reader.block.get() + from, block_size - from);
  } while (got < 0 && errno == EINTR);
  return got;
}

bool starts_the_mark(const line_reader& reader, std::size_t count) {
  return std::memcmp(reader.block.get(), byte_order_mark.data(), count) == 0;
}

// Refills the block; false at the end of the file or on a read error.
bool refill(line_reader& reader) {
  if (reader.at_end) return false;
  // Not zeroed, as std::make_unique would: only the bytes a read put there are ever looked at,
  // and a class run opens a reader for every submission. (The page's libc++ has no
  // make_unique_for_overwrite.)
  if (!reader.block) reader.block.reset(new char[block_size]);  // NOLINT(modernize-make-unique)
  reader.begin = 0;
  ssize_t got = read_some(reader, 0);
  std::size_t held = got > 0 ? static_cast<std::size_t>(got) : 0;
  if (!reader.started) {
    // A pipe may hand over the mark a byte at a time: read on while all that came is its start.
    while (got > 0 && held < byte_order_mark.size() && starts_the_mark(reader, held)) {
      got = read_some(reader, held);
      held += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    reader.started = true;
    if (got >= 0 && held >= byte_order_mark.size() &&
        starts_the_mark(reader, byte_order_mark.size())) {
      reader.begin = byte_order_mark.size();
      // Nothing after the mark yet: the file goes on as if it had never been there.
      if (held == byte_order_mark.size()) return refill(reader);
    }
  }
  reader.failed = got < 0;
  reader.end = got < 0 ? 0 : held;
  if (reader.end == 0) reader.at_end = true;
  return reader.end != 0;
}

// Hands `take(begin, end)` the pieces of the next line, without its line feed or a carriage
// return just before it. A carriage return that ends a block is held back until the next block
// shows whether a line feed follows it.
template <typename take_fn>
read_status for_each_piece(line_reader& reader, take_fn take) {
  ++reader.line_number;
  bool took_any = false;
  bool held_return = false;
  for (;;) {
    if (reader.begin == reader.end && !refill(reader)) {
      if (reader.failed) return read_status::error;
      if (held_return) take(&carriage_return, &carriage_return + 1);
      return took_any ? read_status::line : read_status::end;
    }
    const char* start = reader.block.get() + reader.begin;
    const char* stop = reader.block.get() + reader.end;
    const auto* feed =
        static_cast<const char*>(std::memchr(start, '\n', reader.end - reader.begin));
    took_any = true;
    if (held_return && feed != start) take(&carriage_return, &carriage_return + 1);
    held_return = false;
    const char* piece_end = feed != nullptr ? feed : stop;
    if (piece_end > start && piece_end[-1] == '\r') {
      --piece_end;
      held_return = feed == nullptr;  // dropped for good when a line feed follows at once
    }
    take(start, piece_end);
    if (feed != nullptr) {
      reader.begin = static_cast<std::size_t>(feed - reader.block.get()) + 1;
      return read_status::line;
    }
    reader.begin = reader.end;
  }
}

}  // namespace

read_status read_line(line_reader& reader, std::string& text) {
  text.clear();
  return for_each_piece(reader, [&text](const char* begin, const char* end) {
    text.append(begin, static_cast<std::size_t>(end - begin));
  });
}

read_status read_key_line(line_reader& reader, parsed_line& result, bool whole_line_is_one_token,
                          std::size_t key_limit, bool read_markers) {
  begin_line(reader.parser, result, whole_line_is_one_token, key_limit, read_markers);
  const read_status status = for_each_piece(reader, [&reader](const char* begin, const char* end) {
    feed_line(reader.parser, begin, end);
  });
  if (status == read_status::line) end_line(reader.parser);
  return status;
}

read_status skip_line(line_reader& reader) {
  return for_each_piece(reader, [](const char*, const char*) {});
}
