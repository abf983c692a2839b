// Key lines parsed as their bytes stream past, so a line costs memory by the keys it holds, not by
// its length: no line's text is ever kept whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "checker/results.h"
#include "hashing/hash_table.h"

/// A 64-bit digest of a key list fed a key at a time, so that a line too long to keep is still
/// told apart from, or matched with, a layout: the same keys in the same order give the same
/// digest.
struct key_digest {
  std::uint64_t state = 0x9e3779b97f4a7c15ULL;
  std::int64_t count = 0;
  void add(key k) {
    state ^= static_cast<std::uint32_t>(k) * 0xd6e8feb86659fd93ULL;
    state = ((state << 29) | (state >> 35)) * 0xbf58476d1ce4e5b9ULL;
    ++count;
  }
  /// The digest of the keys added; never 0, which stands for no layout.
  [[nodiscard]] std::uint64_t value() const;
};

/// The digest of a whole key list.
std::uint64_t digest_of(const key_list& keys);

/// A parsed key line: the keys before the first bad token and, when there is one, its fault and
/// first bytes. At most `kept_lenient_tokens` lenient tokens are recorded. Keys beyond the
/// parser's `key_limit` are only counted, in `dropped_keys`.
struct parsed_line {
  key_list keys;
  std::int64_t dropped_keys = 0;
  // Once a key is dropped: the digest of every key read, kept and dropped alike.
  key_digest whole;
  token_fault fault = token_fault::none;
  std::string token;
  bool token_cut = false;
  std::vector<lenient_token> lenient;
  // Parsed as one token: how many numbers the line holds when split at white space instead, as
  // a key line would be (an output file's first line holds many).
  std::int64_t whole_line_numbers = 0;
  // Read with read_markers, every bad token was "None": `keys` holds the whole line with each
  // "None" read as empty_marker_key, while `fault` and `token` still tell the first of them.
  bool marked_empty = false;
};

inline constexpr std::size_t kept_lenient_tokens = 8;

/// A `key_limit` that keeps every key.
inline constexpr std::size_t no_key_limit = SIZE_MAX;

/// Parses a line fed in pieces of any size: the same keys, fault and bad token as the line split
/// whole at every " ". With `whole_line_is_one_token` the line is not split: space is white
/// space, as for the case count. With `any_separator` (kept from line to line) a key line is split
/// at every space, tab, comma, semicolon and bracket instead. Bytes after a bad token are skipped
/// without being kept.
struct key_line_parser {
  enum class phase : std::uint8_t { between, leading_space, sign, digits, trailing, bad, done };
  parsed_line* result = nullptr;
  std::size_t key_limit = no_key_limit;  // keys kept; later ones are only counted
  bool whole_line_is_one_token = false;
  bool any_separator = false;
  bool read_markers = false;
  phase at = phase::between;
  bool negative = false;
  bool lenient = false;
  std::int64_t magnitude = 0;
  std::int64_t digit_count = 0;
  std::string head;  // the current token's bytes from earlier pieces, at most kept_token_bytes
  bool head_cut = false;
  // Past a whole line's first number: 1 after white space, 2 after white space and a sign, 0
  // inside anything else.
  std::uint8_t gap = 0;
};

/// Starts a line into `result`, which keeps its key list's room from earlier lines. The line keeps
/// its first `key_limit` keys: a submitted line longer than its table is wrong whatever follows,
/// so what it costs is bounded by the table, not by the line. With `read_markers` a "None"
/// token, the way some programs print an empty slot, is still the line's bad token, but the line
/// goes on being read (see parsed_line::marked_empty).
void begin_line(key_line_parser& parser, parsed_line& result, bool whole_line_is_one_token,
                std::size_t key_limit = no_key_limit, bool read_markers = false);

/// Feeds the next piece of the line's text (no line feed).
void feed_line(key_line_parser& parser, const char* begin, const char* end);

/// Ends the line: the last token is taken or judged.
void end_line(key_line_parser& parser);
