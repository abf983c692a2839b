// A line parsed at once from a string, for tests: the program itself parses a line as its pieces
// stream past (checker/key_line_stream.h).
#pragma once

#include <string_view>

#include "checker/key_line_stream.h"

inline parsed_line parse_key_line(std::string_view line, bool whole_line_is_one_token = false) {
  parsed_line result;
  key_line_parser parser;
  begin_line(parser, result, whole_line_is_one_token);
  feed_line(parser, line.data(), line.data() + line.size());
  end_line(parser);
  return result;
}
