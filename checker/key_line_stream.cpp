#include "checker/key_line_stream.h"

#include <algorithm>
#include <cstring>

#include "checker/token_kernels.h"
#include "hashing/huge_pages.h"

namespace {

using phase = key_line_parser::phase;

// Past 2^31 the exact magnitude no longer matters: the token is out of range either way.
constexpr std::int64_t magnitude_cap = (std::int64_t{1} << 31) + 1;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Counts a key past the limit into the whole line's digest, which starts over the keys kept.
void drop_key(parsed_line& r, key k) {
  if (r.dropped_keys++ == 0) {
    r.whole = key_digest{};
    for (const key kept : r.keys) r.whole.add(kept);
  }
  r.whole.add(k);
}

void start_token(key_line_parser& p) {
  p.negative = false;
  p.lenient = false;
  p.magnitude = 0;
  p.digit_count = 0;
  p.head.clear();
  p.head_cut = false;
  p.gap = 0;
}

// Keeps the token's first bytes: those of earlier pieces are in `head`, this piece's are
// [start, stop).
std::string token_text(const key_line_parser& p, const char* start, const char* stop, bool& cut) {
  std::string text = p.head;
  const auto room = kept_token_bytes - text.size();
  const auto length = static_cast<std::size_t>(stop - start);
  text.append(start, std::min(room, length));
  cut = p.head_cut || length > room;
  return text;
}

// A bad token after a "None": the line's first bad token stays the one reported.
bool after_marker(key_line_parser& p) {
  parsed_line& r = *p.result;
  if (r.fault == token_fault::none) return false;
  r.marked_empty = false;
  p.at = phase::done;
  return true;
}

void take_key(key_line_parser& p, const char* start, const char* stop) {
  parsed_line& r = *p.result;
  const std::int64_t value = p.negative ? -p.magnitude : p.magnitude;
  if (value < INT32_MIN || value > INT32_MAX) {
    if (after_marker(p)) return;
    r.fault = token_fault::out_of_range;
    r.token = token_text(p, start, stop, r.token_cut);
    p.at = phase::done;
    return;
  }
  if (p.whole_line_is_one_token) ++r.whole_line_numbers;
  p.at = phase::between;
  if (r.keys.size() >= p.key_limit) {
    drop_key(r, static_cast<key>(value));
    return;
  }
  if (p.lenient && r.lenient.size() < kept_lenient_tokens) {
    bool cut = false;
    r.lenient.push_back({r.keys.size(), token_text(p, start, stop, cut)});
  }
  append_key(r.keys, static_cast<key>(value));
}

// Keeps a key while the line is under its limit, else counts it.
void keep_key(key_line_parser& p, key k) {
  parsed_line& r = *p.result;
  if (r.keys.size() < p.key_limit) {
    append_key(r.keys, k);
  } else {
    drop_key(r, k);
  }
}

// A "None" token read as the empty marker: the first is still the line's bad token.
bool take_marker(key_line_parser& p, const char* start, const char* stop) {
  parsed_line& r = *p.result;
  bool cut = false;
  if (!p.read_markers || token_text(p, start, stop, cut) != "None") return false;
  if (r.fault == token_fault::none) {
    r.fault = token_fault::no_number;
    r.token = "None";
    r.token_cut = false;
    r.marked_empty = true;
  }
  keep_key(p, empty_marker_key);
  p.at = phase::between;
  return true;
}

// Ends the token that runs from `start` (in this piece) to `stop`.
void end_token(key_line_parser& p, const char* start, const char* stop) {
  parsed_line& r = *p.result;
  switch (p.at) {
    case phase::digits:
    case phase::trailing:
      take_key(p, start, stop);
      return;
    case phase::sign:
    case phase::bad:
      if (take_marker(p, start, stop) || after_marker(p)) return;
      r.fault = token_fault::no_number;
      r.token = token_text(p, start, stop, r.token_cut);
      p.at = phase::done;
      return;
    case phase::leading_space:
      // A count line of white space alone has no number; in a key line such a token is nothing.
      if (p.whole_line_is_one_token) {
        r.fault = token_fault::blank;
        r.token = token_text(p, start, stop, r.token_cut);
        p.at = phase::done;
        return;
      }
      p.at = phase::between;
      return;
    default:
      return;
  }
}

bool is_any_separator(char c) {
  switch (c) {
    case ' ':
    case '\t':
    case ',':
    case ';':
    case '[':
    case ']':
    case '(':
    case ')':
    case '{':
    case '}':
      return true;
    default:
      return false;
  }
}

bool is_delimiter(const key_line_parser& p, char c) {
  if (p.whole_line_is_one_token) return false;
  return c == ' ' || (p.any_separator && is_any_separator(c));
}

// The first delimiter in [at, end), or `end`.
const char* next_delimiter(const key_line_parser& p, const char* at, const char* end) {
  if (p.any_separator) return std::find_if(at, end, is_any_separator);
  const void* space = std::memchr(at, ' ', static_cast<std::size_t>(end - at));
  return space == nullptr ? end : static_cast<const char*>(space);
}

// Counts the numbers that start in [at, end) of a line read as one token, each where a digit
// follows white space and at most one sign.
void count_whole_line_numbers(key_line_parser& p, const char* at, const char* end) {
  for (; at < end; ++at) {
    const char c = *at;
    if (is_white_space(c)) {
      p.gap = 1;
    } else if (is_digit(c)) {
      if (p.gap != 0) ++p.result->whole_line_numbers;
      p.gap = 0;
    } else {
      p.gap = p.gap == 1 && (c == '+' || c == '-') ? 2 : 0;
    }
  }
}

// Steps through one token's bytes from `at`; returns where it stopped: at the delimiter that ends
// the token, or at `end`.
const char* step_token(key_line_parser& p, const char* at, const char* end) {
  while (at < end) {
    const char c = *at;
    if (is_delimiter(p, c)) return at;
    switch (p.at) {
      case phase::leading_space:
        if (is_white_space(c)) {
          p.lenient = true;
          break;
        }
        p.at = c == '+' || c == '-' ? phase::sign : is_digit(c) ? phase::digits : phase::bad;
        p.negative = c == '-';
        p.lenient = p.lenient || c == '+';
        if (p.at == phase::digits) continue;
        break;
      case phase::sign:
        p.at = is_digit(c) ? phase::digits : phase::bad;
        if (p.at == phase::digits) continue;
        break;
      case phase::digits:
        if (!is_digit(c)) {
          p.at = phase::trailing;
          p.lenient = true;
          continue;
        }
        if (p.digit_count++ == 1 && p.magnitude == 0) p.lenient = true;  // a leading zero
        p.magnitude = std::min(p.magnitude * 10 + (c - '0'), magnitude_cap);
        break;
      default:  // trailing or bad: nothing more to learn before the delimiter
        if (!p.whole_line_is_one_token) return next_delimiter(p, at, end);
        count_whole_line_numbers(p, at, end);
        return end;
    }
    ++at;
  }
  return at;
}

// Plain tokens, digits up to a space, one after another while 16 bytes are left in the piece,
// read a register at a time into room reserved for the whole piece (or up to the line's limit).
// Stops before the first token that is anything else, for the general steps to take.
void plain_tokens(key_line_parser& p, const char*& at, const char* end) {
  if (end - at < 16) return;
  key_list& keys = p.result->keys;
  const std::size_t room = p.key_limit - std::min(p.key_limit, keys.size());
  const auto most = std::min(static_cast<std::size_t>(end - at) / 2 + 1, room);  // digit, space
  if (keys.capacity() - keys.size() < most) {
    reserve_keys(keys, std::min(keys.size() * 2 + most, keys.size() + room));
  }
  while (end - at >= 16) {
    if (is_delimiter(p, *at)) {
      ++at;
      continue;
    }
    const int count = token_kernels::digit_run(at);
    if (count == 0 || count > 10 || !is_delimiter(p, at[count]) || (at[0] == '0' && count > 1)) {
      return;
    }
    const std::uint64_t value = token_kernels::plain_value(at, count);
    if (value > INT32_MAX) return;
    if (keys.size() < p.key_limit) {
      keys.push_back(static_cast<key>(value));
    } else {
      drop_key(*p.result, static_cast<key>(value));
    }
    at += count + 1;
  }
}

// The same token near the end of a piece, a byte at a time.
bool plain_token_by_bytes(key_line_parser& p, const char*& at, const char* end) {
  const char* stop = at;
  std::int64_t value = 0;
  while (stop < end && is_digit(*stop) && stop - at < 10) value = value * 10 + (*stop++ - '0');
  if (stop == at || stop == end || !is_delimiter(p, *stop) || (*at == '0' && stop - at > 1) ||
      value > INT32_MAX) {
    return false;
  }
  keep_key(p, static_cast<key>(value));
  at = stop + 1;
  return true;
}

}  // namespace

std::uint64_t key_digest::value() const {
  // The count last, so that lists of zeros of different lengths differ; then a final mix.
  std::uint64_t digest = state ^ (static_cast<std::uint64_t>(count) * 0x94d049bb133111ebULL);
  digest ^= digest >> 31;
  digest *= 0xff51afd7ed558ccdULL;
  digest ^= digest >> 33;
  return digest == 0 ? 1 : digest;
}

std::uint64_t digest_of(const key_list& keys) {
  key_digest digest;
  for (const key k : keys) digest.add(k);
  return digest.value();
}

void begin_line(key_line_parser& parser, parsed_line& result, bool whole_line_is_one_token,
                std::size_t key_limit, bool read_markers) {
  result.keys.clear();
  result.dropped_keys = 0;
  parser.key_limit = key_limit;
  result.fault = token_fault::none;
  result.token.clear();
  result.token_cut = false;
  result.lenient.clear();
  result.whole_line_numbers = 0;
  result.marked_empty = false;
  parser.read_markers = read_markers && !whole_line_is_one_token;
  parser.result = &result;
  parser.whole_line_is_one_token = whole_line_is_one_token;
  parser.at = phase::between;
  start_token(parser);
}

void feed_line(key_line_parser& p, const char* begin, const char* end) {
  const char* at = begin;
  const char* token_start = begin;  // where the current token's bytes in this piece begin
  while (at < end && p.at != phase::done) {
    if (p.at == phase::between) {
      if (is_delimiter(p, *at)) {
        ++at;
        continue;
      }
      if (!p.whole_line_is_one_token) {
        const char* before = at;
        plain_tokens(p, at, end);
        if (at != before || plain_token_by_bytes(p, at, end)) continue;
      }
      start_token(p);
      token_start = at;
      p.at = phase::leading_space;
    }
    at = step_token(p, at, end);
    if (at < end) {  // at a delimiter: the token ends here
      end_token(p, token_start, at);
      ++at;
    }
  }
  if (p.at != phase::between && p.at != phase::done && p.head.size() < kept_token_bytes) {
    const auto room = kept_token_bytes - p.head.size();
    const auto length = static_cast<std::size_t>(end - token_start);
    p.head.append(token_start, std::min(room, length));
    p.head_cut = p.head_cut || length > room;
  } else if (p.at != phase::between && p.at != phase::done && token_start < end) {
    p.head_cut = true;
  }
}

void end_line(key_line_parser& parser) { end_token(parser, nullptr, nullptr); }
