// Key lists as text: the console form and the file form of a key line.
#pragma once

#include <string>

#include "hashing/hash_table.h"
#include "render/text_out.h"

/// Console form: every key followed by one space, then a line feed.
void print_keys(text_out& console, const key_list& keys);

/// As print_keys, with a helper thread formatting every other megakey: for a long list echoed
/// while no other thread of the run is busy. The same bytes.
void print_keys_on_two_threads(text_out& console, const key_list& keys);

/// File form: keys separated by single spaces, no trailing space, then a line feed.
void write_keys(text_out& answer_file, const key_list& keys);

/// Keys separated by `separator`, nothing before the first or after the last and no line feed;
/// for reports (JSON arrays with ",", say). Formats in chunks straight into the buffer, so a
/// layout of any length costs no copy of its own.
void put_keys_separated(text_out& out, const key_list& keys, char separator);

/// Appends to `text` the bytes put_keys_separated writes, the second half of a long list
/// formatted on a helper thread meanwhile: for a list written more than once. False, with `text`
/// unchanged, when the room for the text can't be had.
bool append_keys_separated(std::string& text, const key_list& keys, char separator);
