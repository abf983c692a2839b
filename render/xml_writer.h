// XML 1.0 text and attribute values appended to a document held in memory, escaped so that the
// document stays well-formed whatever bytes they hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// `text` as element content: & < > " ' become entity references (so "]]>" can't appear), a
/// carriage return becomes &#13; (a parser would turn a raw one into a line feed), tab and line
/// feed stay, well-formed UTF-8 passes unchanged, and every byte XML 1.0 can't hold at all
/// (the other control bytes, bytes that start no well-formed UTF-8 sequence, U+FFFE, U+FFFF)
/// becomes &#xFFFD; (one per byte, or one per such character).
void append_xml_text(std::string& xml, std::string_view text);

/// ` name="value"`: `value` escaped as by `append_xml_text`, and tab and line feed as &#9; and
/// &#10; so that a parser's attribute normalisation leaves them as they were. `name` goes out as
/// given.
void append_xml_attribute(std::string& xml, std::string_view name, std::string_view value);

/// As `append_xml_attribute`, for a number.
void append_xml_attribute(std::string& xml, std::string_view name, std::int64_t value);
