#include "render/json_writer.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "render/escape_runs.h"
#include "render/key_text.h"

namespace {

// The bytes a well-formed sequence may start with, its length, and the range its second byte
// must lie in; that range is what rules out overlong forms, surrogates and code points above
// U+10FFFF.
struct lead_byte_rule {
  unsigned char first;
  unsigned char last;
  std::size_t length;
  unsigned char second_low;
  unsigned char second_high;
};

constexpr std::array<lead_byte_rule, 8> lead_byte_rules{{
    {0xc2, 0xdf, 2, 0x80, 0xbf},
    {0xe0, 0xe0, 3, 0xa0, 0xbf},
    {0xe1, 0xec, 3, 0x80, 0xbf},
    {0xed, 0xed, 3, 0x80, 0x9f},
    {0xee, 0xef, 3, 0x80, 0xbf},
    {0xf0, 0xf0, 4, 0x90, 0xbf},
    {0xf1, 0xf3, 4, 0x80, 0xbf},
    {0xf4, 0xf4, 4, 0x80, 0x8f},
}};

unsigned char byte_at(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]);
}

bool continuation_bytes_fit(std::string_view text, const lead_byte_rule& rule) {
  if (text.size() < rule.length) return false;
  const unsigned char second = byte_at(text, 1);
  if (second < rule.second_low || second > rule.second_high) return false;
  for (std::size_t i = 2; i < rule.length; ++i) {
    if ((byte_at(text, i) & 0xc0) != 0x80) return false;
  }
  return true;
}

// How many bytes at the start of `text` go out unchanged; 0 when the first needs escaping.
std::size_t unchanged_length(std::string_view text) {
  const unsigned char lead = byte_at(text, 0);
  if (lead >= 0x80) return utf8_sequence_length(text);
  return lead >= 0x20 && lead != '"' && lead != '\\' ? 1 : 0;
}

void put_escape(text_out& out, unsigned char byte) {
  static constexpr char hex[] = "0123456789abcdef";
  switch (byte) {
    case '"':
      return put_text(out, "\\\"");
    case '\\':
      return put_text(out, "\\\\");
    case '\n':
      return put_text(out, "\\n");
    case '\t':
      return put_text(out, "\\t");
    case '\r':
      return put_text(out, "\\r");
    case '\b':
      return put_text(out, "\\b");
    case '\f':
      return put_text(out, "\\f");
    default:
      break;
  }
  if (byte >= 0x80) return put_text(out, "\\ufffd");
  const char escape[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xf]};
  put_text(out, std::string_view(escape, sizeof escape));
}

}  // namespace

std::size_t utf8_sequence_length(std::string_view text) {
  if (text.empty()) return 0;
  const unsigned char lead = byte_at(text, 0);
  if (lead < 0x80) return 1;
  const auto* rule =
      std::find_if(std::begin(lead_byte_rules), std::end(lead_byte_rules),
                   [lead](const lead_byte_rule& r) { return lead >= r.first && lead <= r.last; });
  if (rule == std::end(lead_byte_rules)) return 0;
  return continuation_bytes_fit(text, *rule) ? rule->length : 0;
}

void put_json_string(text_out& out, std::string_view text) {
  // Names and most values need no escaping: one piece, quotes and all.
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
  });
  if (plain && out.pending.size() + text.size() + 2 < text_flush_threshold) {
    out.pending += '"';
    out.pending.append(text);
    out.pending += '"';
    return;
  }
  put_text(out, "\"");
  escape_runs(
      text, unchanged_length, [&out](std::string_view run) { put_text(out, run); },
      [&out](std::string_view rest) {
        put_escape(out, byte_at(rest, 0));
        return std::size_t{1};
      });
  put_text(out, "\"");
}

void put_json_string_or_null(text_out& out, std::string_view text) {
  if (text.empty()) return put_json_null(out);
  put_json_string(out, text);
}

void put_json_name(text_out& out, std::string_view name) {
  put_json_string(out, name);
  put_text(out, ":");
}

void put_json_number(text_out& out, std::int64_t value) { put_number(out, value); }

void put_json_bool(text_out& out, bool value) { put_text(out, value ? "true" : "false"); }

void put_json_null(text_out& out) { put_text(out, "null"); }

void put_json_keys(text_out& out, const key_list& keys) {
  put_text(out, "[");
  put_keys_separated(out, keys, ',');
  put_text(out, "]");
}

json_object::json_object(text_out& out, const json_layout& layout) : out_(out), layout_(layout) {
  put_text(out_, "{");
}

json_object::json_object(json_object& parent, std::string_view name, const json_layout& layout)
    : json_object(parent.member(name), layout) {}

json_object::json_object(json_array& parent, const json_layout& layout)
    : json_object(parent.element(), layout) {}

void json_object::close() {
  if (!open_) return;
  open_ = false;
  put_text(out_, layout_.before_end);
  put_text(out_, "}");
}

text_out& json_object::member(std::string_view name) {
  if (!empty_) put_text(out_, ",");
  if (line_break_pending_) put_text(out_, "\n");
  put_text(out_, layout_.before_element);
  empty_ = false;
  line_break_pending_ = false;
  put_json_name(out_, name);
  return out_;
}

void json_object::number(std::string_view name, std::int64_t value) {
  put_json_number(member(name), value);
}

void json_object::boolean(std::string_view name, bool value) { put_json_bool(member(name), value); }

void json_object::string(std::string_view name, std::string_view value) {
  put_json_string(member(name), value);
}

void json_object::string_or_null(std::string_view name, std::string_view value) {
  put_json_string_or_null(member(name), value);
}

void json_object::null(std::string_view name) { put_json_null(member(name)); }

void json_object::keys(std::string_view name, const key_list& value) {
  put_json_keys(member(name), value);
}

json_array::json_array(text_out& out, const json_layout& layout) : out_(out), layout_(layout) {
  put_text(out_, "[");
}

json_array::json_array(json_object& parent, std::string_view name, const json_layout& layout)
    : json_array(parent.member(name), layout) {}

void json_array::close() {
  if (!open_) return;
  open_ = false;
  put_text(out_, layout_.before_end);
  put_text(out_, "]");
}

text_out& json_array::element() {
  if (!empty_) put_text(out_, ",");
  put_text(out_, layout_.before_element);
  empty_ = false;
  return out_;
}

void json_array::number(std::int64_t value) { put_json_number(element(), value); }
