// JSON values written straight into a text_out: strings escaped so that the document stays valid
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
