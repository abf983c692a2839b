#include "checker/line_prefetch.h"

#include <sys/stat.h>

namespace {
bool is_regular_file(const line_reader& reader) {
  struct stat info {};
  return reader.file != nullptr && ::fstat(::fileno(reader.file), &info) == 0 &&
         S_ISREG(info.st_mode);
}
}  // namespace

void* line_prefetch::read_lines(void* self) {
  auto* prefetch = static_cast<line_prefetch*>(self);
  submitted_lines& lines = prefetch->lines_;
  for (lines.count = 0; lines.count < lines.wanted;) {
    const int i = lines.count++;
    lines.status[i] =
        read_key_line(*prefetch->reader_, lines.parsed[i], false, prefetch->key_limit_, true);
    lines.line_number[i] = prefetch->reader_->line_number;
    if (lines.status[i] == read_status::error) break;
  }
  return nullptr;
}

bool line_prefetch::begin(line_reader& reader, std::size_t key_limit, int lines) {
  if (pending_ || !is_regular_file(reader)) return false;
  reader_ = &reader;
  key_limit_ = key_limit;
  lines_.status = submitted_lines::ended();
  lines_.wanted = lines;
  return true;
}

bool line_prefetch::start(line_reader& reader, std::size_t key_limit) {
  if (!begin(reader, key_limit, static_cast<int>(strategy_count))) return false;
  thread_.run(read_lines, this);
  pending_ = true;
  return true;
}

bool line_prefetch::start_on_thread(line_reader& reader, std::size_t key_limit, int lines) {
  if (!begin(reader, key_limit, lines)) return false;
  pending_ = thread_.start(read_lines, this);
  return pending_;
}

submitted_lines& line_prefetch::take() {
  thread_.join();
  pending_ = false;
  return lines_;
}
