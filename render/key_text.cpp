#include "render/key_text.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::size_t keys_per_chunk = 4096;
constexpr std::size_t widest_key = 11;  // "-2147483648"

// Appends keys[first, last) to `text`, each followed by `separator`, writing in place rather than
// growing the text key by key.
void append_separated(std::string& text, const key_list& keys, std::size_t first, std::size_t last,
                      char separator) {
  const std::size_t start = text.size();
  text.resize(start + (last - first) * (widest_key + 1));
  char* at = text.data() + start;
  for (std::size_t i = first; i < last; ++i) {
    at = std::to_chars(at, at + widest_key, keys[i]).ptr;
    *at++ = separator;
  }
  text.resize(static_cast<std::size_t>(at - text.data()));
}

// Writes the keys a chunk at a time, each followed by `separator` but the last when
// `separator_after_last` is false.
void put_chunked(text_out& out, const key_list& keys, char separator, bool separator_after_last) {
  for (std::size_t first = 0; first < keys.size(); first += keys_per_chunk) {
    const std::size_t last = std::min(keys.size(), first + keys_per_chunk);
    append_separated(out.pending, keys, first, last, separator);
    if (last == keys.size() && !separator_after_last) out.pending.pop_back();
    if (out.pending.size() >= (std::size_t{1} << 20)) flush_text(out);
  }
}

}  // namespace

void print_keys(text_out& console, const key_list& keys) {
  put_chunked(console, keys, ' ', true);
  put_text(console, "\n");
}

void write_keys(text_out& answer_file, const key_list& keys) {
  put_chunked(answer_file, keys, ' ', false);
  put_text(answer_file, "\n");
}

void put_keys_separated(text_out& out, const key_list& keys, char separator) {
  put_chunked(out, keys, separator, false);
}
