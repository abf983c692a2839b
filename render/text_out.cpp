#include "render/text_out.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

// One block of memory aligned as direct writes need it, filled up to `filled`.
struct direct_blocks {
  char* block = nullptr;
  std::size_t filled = 0;
};

void direct_blocks_deleter::operator()(direct_blocks* blocks) const noexcept {
  if (blocks == nullptr) return;
  std::free(blocks->block);  // NOLINT(cppcoreguidelines-no-malloc): from aligned_alloc
  delete blocks;
}

namespace {
constexpr std::size_t flush_threshold = text_flush_threshold;
constexpr std::int64_t writeback_step = std::int64_t{8} << 20;
// Offsets, lengths and memory aligned to 4 KiB suit every block size a file system uses for
// direct writes. A file is written directly once it is large enough for the page cache's copy to
// cost more than a write that waits for the disk: a small report never is.
constexpr std::size_t direct_alignment = 4096;
constexpr std::size_t direct_block_bytes = std::size_t{8} << 20;
constexpr std::int64_t direct_after = std::int64_t{16} << 20;

// Starts, without waiting, the disk writes of what was written since the last call. Only a
// hint: a file system or stream that can't take it is synced as before.
void hand_to_disk(text_out& out) {
  if (out.bytes_written - out.bytes_handed_to_disk < writeback_step) return;
  ::sync_file_range(::fileno(out.file), out.bytes_handed_to_disk,
                    out.bytes_written - out.bytes_handed_to_disk, SYNC_FILE_RANGE_WRITE);
  out.bytes_handed_to_disk = out.bytes_written;
}

void write_through_stdio(text_out& out, std::string_view bytes) {
  if (out.failed) return;
  const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), out.file);
  if (written != bytes.size() || std::fflush(out.file) != 0) out.failed = true;
  out.bytes_written += static_cast<std::int64_t>(written);
  if (out.early_writeback && !out.failed) hand_to_disk(out);
}

bool set_direct(int descriptor, bool direct) {
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags == -1) return false;
  return ::fcntl(descriptor, F_SETFL, direct ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

// Writes `bytes` on the stream's descriptor, whose stdio buffer is empty. A file system that
// refuses a direct write (an unaligned piece after a short write, or no direct writes at all)
// gets the rest through the page cache, as does every later write to the file.
void write_descriptor(text_out& out, const char* data, std::size_t size) {
  const int descriptor = ::fileno(out.file);
  while (size > 0 && !out.failed) {
    const ssize_t written = ::write(descriptor, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && (errno == EINVAL || errno == EOPNOTSUPP) && !out.direct_refused &&
               set_direct(descriptor, false)) {
      out.direct_refused = true;
    } else {
      out.failed = true;
    }
  }
}

// Past `direct_after` bytes, a synced file switches to direct writes at the next block boundary:
// the bytes up to it go through stdio as before. The rest of `bytes` is left to the caller.
void start_direct(text_out& out, std::string_view& bytes) {
  const std::size_t past_boundary = static_cast<std::size_t>(out.bytes_written) % direct_alignment;
  const std::size_t to_boundary = past_boundary == 0 ? 0 : direct_alignment - past_boundary;
  if (bytes.size() <= to_boundary) return;
  write_through_stdio(out, bytes.substr(0, to_boundary));
  bytes.remove_prefix(to_boundary);
  if (out.failed) return;
  std::unique_ptr<direct_blocks, direct_blocks_deleter> blocks(new (std::nothrow) direct_blocks);
  if (blocks) {
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): direct writes need aligned memory
    blocks->block = static_cast<char*>(std::aligned_alloc(direct_alignment, direct_block_bytes));
  }
  if (!blocks || blocks->block == nullptr || !set_direct(::fileno(out.file), true)) {
    out.direct_refused = true;
    return;
  }
  out.direct = std::move(blocks);
}

// Copies `bytes` into the block, writing the block whenever it is full.
void stage(text_out& out, std::string_view bytes) {
  direct_blocks& blocks = *out.direct;
  while (!bytes.empty() && !out.failed) {
    const std::size_t taken = std::min(bytes.size(), direct_block_bytes - blocks.filled);
    std::memcpy(blocks.block + blocks.filled, bytes.data(), taken);
    blocks.filled += taken;
    out.bytes_written += static_cast<std::int64_t>(taken);
    bytes.remove_prefix(taken);
    if (blocks.filled == direct_block_bytes) {
      write_descriptor(out, blocks.block, blocks.filled);
      blocks.filled = 0;
    }
  }
}

// The one way bytes leave the buffer for the file.
void pass_on(text_out& out, std::string_view bytes) {
  if (!out.direct && out.early_writeback && !out.direct_refused && !out.failed &&
      out.bytes_written >= direct_after) {
    start_direct(out, bytes);
  }
  if (out.direct) {
    stage(out, bytes);
  } else {
    write_through_stdio(out, bytes);
  }
}

// Writes what the block holds, its whole blocks directly and the rest through the page cache,
// and ends direct writing until the file has grown by another block.
void drain_direct(text_out& out) {
  if (!out.direct) return;
  const direct_blocks& blocks = *out.direct;
  const std::size_t whole = blocks.filled / direct_alignment * direct_alignment;
  write_descriptor(out, blocks.block, whole);
  if (!out.direct_refused && !set_direct(::fileno(out.file), false)) out.failed = true;
  write_descriptor(out, blocks.block + whole, blocks.filled - whole);
  out.direct.reset();
}

}  // namespace

bool flush_text(text_out& out) {
  pass_on(out, out.pending);
  out.pending.clear();
  return !out.failed;
}

bool flush_text_whole(text_out& out) {
  flush_text(out);
  drain_direct(out);
  return !out.failed;
}

bool flush_text_to_disk(text_out& out) {
  if (!flush_text_whole(out) || !out.early_writeback) return !out.failed;
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
  pass_on(out, text);
}

void put_number(text_out& out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  put_text(out, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

std::string_view console_name(const text_out& out) {
  return out.file == stderr ? "standard error" : "standard output";
}
