// Buffered text output to a C stream, for the console transcript and the answer file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

/// The state of a file whose whole blocks go to the disk directly (text_out.cpp).
struct direct_blocks;
struct direct_blocks_deleter {
  void operator()(direct_blocks* blocks) const noexcept;
};

/// An output stream with its own buffer. `failed` turns true at the first write that the stream
/// refuses and stays true; later output is dropped.
struct text_out {
  std::FILE* file = nullptr;
  std::string pending;
  bool failed = false;
  // For a file that will be synced at the end: every few megabytes written, the kernel is asked
  // to start writing them to disk, so that the final sync has little left to wait for. Past a few
  // megabytes such a file is written in whole blocks straight to the disk (O_DIRECT) instead:
  // a file synced anyway gains nothing from the page cache but the cost of copying into it.
  bool early_writeback = false;
  std::int64_t bytes_written = 0;  // passed to the stream, including blocks still held back
  std::int64_t bytes_handed_to_disk = 0;
  std::unique_ptr<direct_blocks, direct_blocks_deleter> direct{};  // while written directly
  bool direct_refused = false;  // the file system or the memory would not have it
};

/// Passes the buffer to the stream once it holds this many bytes or more.
inline constexpr std::size_t text_flush_threshold = std::size_t{1} << 20;

/// put_text for a text that does not fit under the threshold beside what is buffered.
void put_text_through(text_out& out, std::string_view text);

/// Appends `text`; passes the buffer to the stream once it holds a megabyte or more. Inline: the
/// reports call it for every few bytes.
inline void put_text(text_out& out, std::string_view text) {
  if (out.pending.size() + text.size() < text_flush_threshold) {
    out.pending.append(text);
    return;
  }
  put_text_through(out, text);
}

/// Appends `value` in decimal.
void put_number(text_out& out, std::int64_t value);

/// Writes everything buffered through to the stream. Returns false when any write has failed. A
/// file written directly may still hold back its last bytes short of a whole block of 8 MiB,
/// until flush_text_whole.
bool flush_text(text_out& out);

/// As flush_text, with nothing held back: the stream holds every byte written so far.
bool flush_text_whole(text_out& out);

/// As flush_text_whole, and for a stream with `early_writeback` (a file that will be synced
/// before it is kept) also waits until the file's data is on disk, so that the final sync finds
/// little left. A failed sync counts as a failed write.
bool flush_text_to_disk(text_out& out);

/// "standard error" for a stream on stderr, "standard output" for any other: the console's name
/// in the line that says it could not be written.
std::string_view console_name(const text_out& out);
