// JSON written straight into a text_out: objects and arrays as scopes that place their own
// commas and close themselves, and values: strings escaped so that the document stays valid
// whatever bytes they hold, numbers, null, booleans and key lists of any length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hashing/hash_table.h"
#include "render/text_out.h"

/// Length of the well-formed UTF-8 sequence that starts `text` (RFC 3629: no overlong form, no
/// surrogate, nothing above U+10FFFF): 1 to 4, or 0 when `text` is empty or starts otherwise.
/// The XML writer judges bytes by it too.
std::size_t utf8_sequence_length(std::string_view text);

/// `text` as a JSON string, quotes included. '"', '\\' and bytes below 0x20 are escaped (\n, \t,
/// \r, \b, \f or \u00XX), well-formed UTF-8 passes unchanged, and every byte that starts no
/// well-formed sequence becomes \ufffd (U+FFFD), so the result is valid JSON for any bytes.
void put_json_string(text_out& out, std::string_view text);

/// As `put_json_string`, but `null` for the empty text.
void put_json_string_or_null(text_out& out, std::string_view text);

/// `"name":`, the start of an object member.
void put_json_name(text_out& out, std::string_view name);

/// The literal values: a decimal integer, true or false, null.
void put_json_number(text_out& out, std::int64_t value);
void put_json_bool(text_out& out, bool value);
void put_json_null(text_out& out);

/// `keys` as a JSON array of numbers, written in chunks: no copy of the list, whatever its length.
void put_json_keys(text_out& out, const key_list& keys);

/// Where an object or array puts line breaks: `before_element` goes before each member or element
/// (after its comma), `before_end` before the closing bracket. Both empty: all on one line.
struct json_layout {
  std::string_view before_element;
  std::string_view before_end;
};

class json_array;

/// An open JSON object: the constructor writes "{", `close` (or the destructor, whichever comes
/// first) writes "}", and each member after the first is preceded by a comma. Not copied or moved:
/// a scope stays where its bracket is.
class json_object {
 public:
  /// An object written as one value wherever `out` is: a document, or a value whose member or
  /// element the caller has already started.
  explicit json_object(text_out& out, const json_layout& layout = {});
  /// The member `name` of `parent`.
  json_object(json_object& parent, std::string_view name, const json_layout& layout = {});
  /// The next element of `parent`.
  explicit json_object(json_array& parent, const json_layout& layout = {});
  json_object(const json_object&) = delete;
  json_object& operator=(const json_object&) = delete;
  ~json_object() { close(); }

  /// Writes "}" once; later members are an error of the caller's.
  void close();

  /// Starts the member `name` and returns the stream, for the caller to write its one value.
  text_out& member(std::string_view name);
  /// Makes the next member start on a line of its own.
  void break_line() { line_break_pending_ = true; }

  /// Whole members of one value each, as the put_json_ functions above write them.
  void number(std::string_view name, std::int64_t value);
  void boolean(std::string_view name, bool value);
  void string(std::string_view name, std::string_view value);
  void string_or_null(std::string_view name, std::string_view value);
  void null(std::string_view name);
  void keys(std::string_view name, const key_list& value);

 private:
  text_out& out_;
  json_layout layout_;
  bool empty_ = true;
  bool open_ = true;
  bool line_break_pending_ = false;
};

/// An open JSON array, as json_object: "[" when made, "]" when closed, commas between elements.
class json_array {
 public:
  /// An array written as one value wherever `out` is.
  explicit json_array(text_out& out, const json_layout& layout = {});
  /// The member `name` of `parent`.
  json_array(json_object& parent, std::string_view name, const json_layout& layout = {});
  json_array(const json_array&) = delete;
  json_array& operator=(const json_array&) = delete;
  ~json_array() { close(); }

  /// Writes "]" once.
  void close();

  /// Starts the next element and returns the stream, for the caller to write its one value.
  text_out& element();
  void number(std::int64_t value);

 private:
  text_out& out_;
  json_layout layout_;
  bool empty_ = true;
  bool open_ = true;
};
