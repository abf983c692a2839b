// Line-by-line reading of a text file, shared by the input file and the output file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/// A file read forward in large blocks. `path` names it in messages; `line_number` counts the
/// reads asked for, so after the end of the file it still numbers the line that was missing.
/// With `size_hint` set, a long line is given room for the rest of the file at once instead of
/// growing step by step; the room is only reserved, and costs memory only where text lands.
struct line_reader {
  std::FILE* file = nullptr;
  std::string path;
  std::vector<char> block;
  std::size_t begin = 0;
  std::size_t end = 0;
  bool at_end = false;
  std::int64_t line_number = 0;
  std::uint64_t size_hint = 0;  // the file's size when known, else 0
  std::uint64_t bytes_read = 0;
};

enum class read_status { line, end, error };

/// Reads the next line into `text`, without its line feed or a carriage return just before it;
/// any other byte, NUL included, stays. A last line without a line feed is read whole. Returns
/// `end` (with `text` empty) when no line is left and `error` when the stream fails.
read_status read_line(line_reader& reader, std::string& text);
