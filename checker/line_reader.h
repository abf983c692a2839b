// Line-by-line reading of a text file, shared by the input file and the output file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "checker/key_line_stream.h"

/// A file read forward in blocks of 64 KiB. `path` names it in messages; `line_number` counts the
/// reads asked for, so after the end of the file it still numbers the line that was missing. A
/// UTF-8 byte-order mark at the very start of the file is skipped.
struct line_reader {
  std::FILE* file = nullptr;
  std::string path;
  std::unique_ptr<char[]> block;  // 64 KiB, made at the first read and never zeroed
  std::size_t begin = 0;
  std::size_t end = 0;
  bool at_end = false;
  bool failed = false;   // a read failed
  bool started = false;  // the first block, which may open with a byte-order mark, was read
  std::int64_t line_number = 0;
  key_line_parser parser;
};

enum class read_status { line, end, error };

/// Reads the next line into `text`, without its line feed or a carriage return just before it;
/// any other byte, NUL included, stays. A last line without a line feed is read whole. Returns
/// `end` (with `text` empty) when no line is left and `error` when the stream fails. The text
/// costs memory by its length; the program itself reads with `read_key_line`.
read_status read_line(line_reader& reader, std::string& text);

/// Reads the next line and parses it as it streams past (see key_line_parser): memory by the
/// keys the line holds, whatever its length, and at most `key_limit` keys are kept. Same statuses
/// as read_line; at `end` the result holds no key. `read_markers` as for begin_line.
read_status read_key_line(line_reader& reader, parsed_line& result,
                          bool whole_line_is_one_token = false,
                          std::size_t key_limit = no_key_limit, bool read_markers = false);

/// Reads past the next line without keeping any of it.
read_status skip_line(line_reader& reader);
