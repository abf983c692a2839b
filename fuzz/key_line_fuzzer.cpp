// Fuzz target for key lines: any bytes, taken as one line, go through split_keys and token_value.
// Aborts, naming the property, when a parse disagrees with itself, with the written forms or with
// std::from_chars.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "checker/key_line_stream.h"
#include "checker/key_lines.h"
#include "reference/reference_key_lines.h"
#include "render/key_text.h"

namespace {

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "key_line_fuzzer: property broken: %s\n", property);
  std::abort();
}

// token_value worked out another way: the sign and digits go to std::from_chars, which knows the
// range of `key` by itself.
token_fault reference_token_value(std::string_view token, key& value) {
  std::size_t at = token.find_first_not_of(" \t\n\v\f\r");
  if (at == std::string_view::npos) return token_fault::blank;
  std::string number = token[at] == '-' ? "-" : "";
  if (token[at] == '-' || token[at] == '+') ++at;
  const std::size_t end = std::min(token.find_first_not_of("0123456789", at), token.size());
  if (end == at) return token_fault::no_number;
  number.append(token.substr(at, end - at));
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  return result.ec == std::errc::result_out_of_range ? token_fault::out_of_range
                                                     : token_fault::none;
}

void check_token_value(std::string_view token) {
  key value = 0;
  key expected = 0;
  const token_fault fault = token_value(token, value);
  require(fault == reference_token_value(token, expected), "token_value agrees with from_chars");
  require(fault != token_fault::none || value == expected, "token_value's key is from_chars's");
}

bool is_printable_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

// The bad token must be one whole token of `line`, and the keys found before it are the keys of
// the line up to it.
void check_bad_token(std::string_view line, const split_result& parsed) {
  const std::string_view token = parsed.token;
  require(parsed.fault == token_fault::no_number || parsed.fault == token_fault::out_of_range,
          "a reported fault is no_number or out_of_range");
  require(!token.empty() && token.find(' ') == std::string_view::npos,
          "the bad token is non-empty and holds no delimiter");
  require(token.data() >= line.data() && token.data() + token.size() <= line.data() + line.size(),
          "the bad token lies inside the line");
  const auto start = static_cast<std::size_t>(token.data() - line.data());
  const std::size_t end = start + token.size();
  require((start == 0 || line[start - 1] == ' ') && (end == line.size() || line[end] == ' '),
          "the bad token is a whole token");
  key ignored = 0;
  require(token_value(token, ignored) == parsed.fault, "the bad token alone has the same fault");
  require(split_keys(line.substr(0, start), " ").keys == parsed.keys,
          "the keys reported are those before the bad token");
  const std::string quoted = quote_token(token);
  require(quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"' &&
              is_printable_ascii(quoted),
          "a quoted token is one printable line in quotes");
}

// The written forms must read back as the same keys; both are read from `pending`, no stream.
void check_written_forms(std::string_view line, const key_list& keys) {
  text_out file_form;
  write_keys(file_form, keys);
  const std::string& file_text = file_form.pending;
  require(file_text.size() <= line.size() + 1, "the file form is no longer than the line");
  require(!file_text.empty() && file_text.find('\n') == file_text.size() - 1,
          "the file form is one line ending in a line feed");
  const std::string_view file_line(file_text.data(), file_text.size() - 1);
  require(file_line.find("  ") == std::string_view::npos &&
              (file_line.empty() || (file_line.front() != ' ' && file_line.back() != ' ')),
          "the file form separates keys with single spaces");
  require(split_keys(file_line, " ").keys == keys, "the file form reads back as the same keys");
  text_out console_form;
  print_keys(console_form, keys);
  const std::string expected_console = keys.empty() ? "\n" : std::string(file_line) + " \n";
  require(console_form.pending == expected_console,
          "the console form is the file form with a space after the last key");
}

void check_split(std::string_view line) {
  const split_result parsed = split_keys(line, " ");
  const auto token_count = static_cast<std::size_t>(std::count(line.begin(), line.end(), ' ')) + 1;
  require(parsed.keys.size() <= token_count, "no more keys than tokens");
  // text_out hands its buffer to a stream only at a megabyte, so up to this length the written
  // forms stay in memory where no stream is needed.
  constexpr std::size_t longest_checked_line = std::size_t{1} << 18;
  if (parsed.fault != token_fault::none) {
    check_bad_token(line, parsed);
  } else if (line.size() <= longest_checked_line) {
    check_written_forms(line, parsed.keys);
  }
}

// A line without a delimiter is one token: split_keys must agree with token_value on it.
void check_single_token(std::string_view line) {
  if (line.find(' ') != std::string_view::npos) return;
  const split_result parsed = split_keys(line, " ");
  key value = 0;
  const token_fault fault = token_value(line, value);
  if (fault == token_fault::none) {
    require(parsed.fault == token_fault::none && parsed.keys == key_list{value},
            "a single number token gives its one key");
  } else {
    require(parsed.keys.empty(), "a single token without a key gives no key");
    require(parsed.fault == (fault == token_fault::blank ? token_fault::none : fault),
            "a single bad token is reported with its fault");
  }
}

// The one-pass split for spaces must agree with the general split at any other delimiter: the
// same line with its spaces turned into commas gives the same keys and fault at the same place.
// The file-form flag must be set exactly when the line is the file form of its keys.
void check_split_paths(std::string_view line) {
  const split_result parsed = split_keys(line, " ");
  if (parsed.fault == token_fault::none && line.size() <= (std::size_t{1} << 18)) {
    text_out file_form;
    write_keys(file_form, parsed.keys);
    require(parsed.plain_form == (file_form.pending == std::string(line) + "\n"),
            "plain_form is set exactly for the file form");
  }
  if (line.find(',') != std::string_view::npos) return;
  std::string commas(line);
  std::replace(commas.begin(), commas.end(), ' ', ',');
  const split_result general = split_keys(commas, ",");
  require(general.keys == parsed.keys && general.fault == parsed.fault,
          "splitting at spaces agrees with splitting at commas");
  require(parsed.fault == token_fault::none ||
              (parsed.token.data() - line.data() == general.token.data() - commas.data() &&
               parsed.token.size() == general.token.size()),
          "both splits report the same bad token");
}

// The parser that reads files as they stream past must give what split_keys gives, wherever the
// line is cut into pieces: the same keys, fault and first bytes of the bad token.
void check_streaming(std::string_view line) {
  const split_result whole = split_keys(line, " ");
  const std::size_t cuts[] = {1, 2, 3, 7, line.size() / 2 + 1};
  for (const std::size_t piece : cuts) {
    parsed_line parsed;
    key_line_parser parser;
    begin_line(parser, parsed, false);
    for (std::size_t at = 0; at < line.size(); at += piece) {
      const std::string_view part = line.substr(at, piece);
      feed_line(parser, part.data(), part.data() + part.size());
    }
    end_line(parser);
    require(parsed.keys == whole.keys && parsed.fault == whole.fault,
            "the streaming parser agrees with split_keys");
    const std::string_view kept = whole.token.substr(0, kept_token_bytes);
    require(parsed.fault == token_fault::none ||
                (parsed.token == kept && parsed.token_cut == (whole.token.size() > kept.size())),
            "the streaming parser keeps the bad token's first bytes");
  }
}

// Read with any separator (--separators=any), a line gives what it gives read at single spaces
// once every tab, comma, semicolon and bracket in it is a space, wherever it is cut.
void check_any_separators(std::string_view line) {
  std::string spaced(line);
  std::replace_if(
      spaced.begin(), spaced.end(),
      [](char c) { return std::string_view("\t,;[](){}").find(c) != std::string_view::npos; }, ' ');
  const split_result whole = split_keys(spaced, " ");
  for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, line.size() / 2 + 1}) {
    parsed_line parsed;
    key_line_parser parser;
    parser.any_separator = true;
    begin_line(parser, parsed, false);
    for (std::size_t at = 0; at < line.size(); at += piece) {
      const std::string_view part = line.substr(at, piece);
      feed_line(parser, part.data(), part.data() + part.size());
    }
    end_line(parser);
    require(parsed.keys == whole.keys && parsed.fault == whole.fault &&
                (parsed.fault == token_fault::none ||
                 parsed.token == whole.token.substr(0, kept_token_bytes)),
            "any separator reads as the line with each separator a space");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  check_token_value(line);
  check_split(line);
  check_single_token(line);
  check_split_paths(line);
  check_streaming(line);
  check_any_separators(line);
  return 0;
}
