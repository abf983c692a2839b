#include "render/key_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "hashing/huge_pages.h"
#include "hashing/thread_start.h"
#include "render/decimal_kernels.h"

namespace {

constexpr std::size_t keys_per_chunk = 4096;
constexpr std::size_t widest_key = 11;  // "-2147483648"

char* put_key(char* at, key k) {
  if (k >= 0) return decimal_kernels::put_decimal(at, static_cast<std::uint32_t>(k));
  *at = '-';
  return decimal_kernels::put_decimal(at + 1, 0U - static_cast<std::uint32_t>(k));
}

// Writes keys[first, last) at `at`, each followed by `separator`, and returns the end; up to
// widest_key bytes past the end may be overwritten.
char* put_separated(char* at, const key_list& keys, std::size_t first, std::size_t last,
                    char separator) {
  for (std::size_t i = first; i < last; ++i) {
    at = put_key(at, keys[i]);
    *at++ = separator;
  }
  return at;
}

// Appends keys[first, last) to `text`, each followed by `separator`, writing in place rather than
// growing the text key by key.
void append_separated(std::string& text, const key_list& keys, std::size_t first, std::size_t last,
                      char separator) {
  const std::size_t start = text.size();
  // Room for every key at its widest, and for put_decimal's copy of ten bytes at the last one.
  text.resize(start + (last - first) * (widest_key + 1) + widest_key);
  char* const end = put_separated(text.data() + start, keys, first, last, separator);
  text.resize(static_cast<std::size_t>(end - text.data()));
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

// Lists longer than a segment may be formatted by two threads: the caller formats one segment
// straight into the stream's buffer while a helper thread formats the next into a text of its
// own, which the caller writes after it. The bytes are those one thread would write.
constexpr std::size_t keys_per_segment = std::size_t{1} << 20;

struct segment_job {
  const key_list* keys = nullptr;
  std::size_t first = 0;
  std::size_t last = 0;
  std::string text;  // reused from segment to segment
  char separator = ' ';
};

void* format_segment(void* argument) {
  auto* job = static_cast<segment_job*>(argument);
  job->text.clear();
  append_separated(job->text, *job->keys, job->first, job->last, job->separator);
  return nullptr;
}

// Keys formatted by a helper thread at a place of their own in a text that is being written.
struct in_place_job {
  const key_list* keys = nullptr;
  std::size_t first = 0;
  std::size_t last = 0;
  char* at = nullptr;
  char separator = ' ';
  char* end = nullptr;  // set by format_in_place
};

void* format_in_place(void* argument) {
  auto* job = static_cast<in_place_job*>(argument);
  job->end = put_separated(job->at, *job->keys, job->first, job->last, job->separator);
  return nullptr;
}

// Writes keys[first, last) through the buffer a chunk at a time, each followed by a space.
void put_range(text_out& out, const key_list& keys, std::size_t first, std::size_t last) {
  for (std::size_t chunk = first; chunk < last; chunk += keys_per_chunk) {
    append_separated(out.pending, keys, chunk, std::min(last, chunk + keys_per_chunk), ' ');
    if (out.pending.size() >= (std::size_t{1} << 20)) flush_text(out);
  }
}

}  // namespace

void print_keys(text_out& console, const key_list& keys) {
  put_chunked(console, keys, ' ', true);
  put_text(console, "\n");
}

void print_keys_on_two_threads(text_out& console, const key_list& keys) {
  segment_job helper;
  helper.keys = &keys;
  for (std::size_t first = 0; first < keys.size(); first += 2 * keys_per_segment) {
    const std::size_t middle = std::min(keys.size(), first + keys_per_segment);
    helper.first = middle;
    helper.last = std::min(keys.size(), middle + keys_per_segment);
    if (helper.last == middle) {
      put_range(console, keys, first, middle);
      continue;
    }
    // Without a thread (none can be had) the second segment is formatted here, before the first.
    helper_thread thread;
    thread.run(format_segment, &helper);
    put_range(console, keys, first, middle);
    thread.join();
    put_text(console, helper.text);
  }
  put_text(console, "\n");
}

void write_keys(text_out& answer_file, const key_list& keys) {
  put_chunked(answer_file, keys, ' ', false);
  put_text(answer_file, "\n");
}

void put_keys_separated(text_out& out, const key_list& keys, char separator) {
  put_chunked(out, keys, separator, false);
}

bool append_keys_separated(std::string& text, const key_list& keys, char separator) {
  if (keys.empty()) return true;
  // At most widest_key + 1 bytes a key, as many as three keys take in memory, with room to spare.
  if (keys.size() > keys_per_segment && !can_hold_keys(4 * keys.size())) return false;
  const std::size_t start = text.size();
  const std::size_t middle = keys.size() > 2 * keys_per_segment ? keys.size() / 2 : keys.size();
  // The helper formats the second half into the same text, past the room the first half may take
  // and past what put_decimal copies beyond its last key, so that the two never touch; the second
  // half then moves down behind the first. No text of its own: its memory would be fresh for
  // every list, and fresh memory costs more than the move.
  const std::size_t second_at = start + middle * (widest_key + 1) + widest_key + 1;
  text.resize(second_at + (keys.size() - middle) * (widest_key + 1) + widest_key);
  in_place_job helper{&keys, middle, keys.size(), text.data() + second_at, separator};
  helper_thread thread;
  if (middle < keys.size()) thread.run(format_in_place, &helper);
  char* const first_end = put_separated(text.data() + start, keys, 0, middle, separator);
  thread.join();
  char* end = first_end;
  if (middle < keys.size()) {
    const auto second_bytes = static_cast<std::size_t>(helper.end - helper.at);
    std::memmove(first_end, helper.at, second_bytes);
    end += second_bytes;
  }
  text.resize(static_cast<std::size_t>(end - text.data()) - 1);  // less the last separator
  return true;
}
