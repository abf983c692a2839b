#include "render/xml_writer.h"

#include <charconv>

#include "render/escape_runs.h"
#include "render/json_writer.h"

namespace {

enum class xml_context { text, attribute };

constexpr std::string_view replacement = "&#xFFFD;";

bool is_noncharacter(std::string_view sequence) {
  // U+FFFE and U+FFFF, the only well-formed UTF-8 that XML 1.0 excludes besides control bytes.
  return sequence.size() == 3 && sequence[0] == '\xef' && sequence[1] == '\xbf' &&
         (sequence[2] == '\xbe' || sequence[2] == '\xbf');
}

// How many bytes at the start of `text` go out unchanged; 0 when the first needs replacing.
std::size_t unchanged_length(std::string_view text, xml_context context) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead >= 0x80) {
    const std::size_t length = utf8_sequence_length(text);
    return is_noncharacter(text.substr(0, length)) ? 0 : length;
  }
  if (lead == '\t' || lead == '\n') return context == xml_context::text ? 1 : 0;
  const bool special = lead == '&' || lead == '<' || lead == '>' || lead == '"' || lead == '\'';
  return lead >= 0x20 && !special ? 1 : 0;
}

std::string_view reference_for(char byte) {
  switch (byte) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&apos;";
    case '\t':
      return "&#9;";
    case '\n':
      return "&#10;";
    case '\r':
      return "&#13;";
    default:
      return replacement;
  }
}

// Writes `text` escaped; a U+FFFE or U+FFFF is replaced whole, any other odd byte alone.
void append_escaped(std::string& xml, std::string_view text, xml_context context) {
  escape_runs(
      text, [context](std::string_view rest) { return unchanged_length(rest, context); },
      [&xml](std::string_view run) { xml.append(run); },
      [&xml](std::string_view rest) {
        xml.append(reference_for(rest[0]));
        return is_noncharacter(rest.substr(0, 3)) ? std::size_t{3} : std::size_t{1};
      });
}

}  // namespace

void append_xml_text(std::string& xml, std::string_view text) {
  append_escaped(xml, text, xml_context::text);
}

void append_xml_attribute(std::string& xml, std::string_view name, std::string_view value) {
  xml += ' ';
  xml += name;
  xml += "=\"";
  append_escaped(xml, value, xml_context::attribute);
  xml += '"';
}

void append_xml_attribute(std::string& xml, std::string_view name, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  append_xml_attribute(xml, name,
                       std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

xml_element::xml_element(std::string& xml, std::string_view name, std::size_t depth)
    : xml_(xml), name_(name), depth_(depth) {
  xml_.append(2 * depth_, ' ');
  xml_ += '<';
  xml_ += name_;
}

xml_element::xml_element(xml_element& parent, std::string_view name)
    : xml_element(children_of(parent), name, parent.depth_ + 1) {}

std::string& xml_element::children_of(xml_element& parent) {
  parent.begin_children();
  return parent.xml_;
}

void xml_element::attribute(std::string_view name, std::string_view value) {
  append_xml_attribute(xml_, name, value);
}

void xml_element::attribute(std::string_view name, std::int64_t value) {
  append_xml_attribute(xml_, name, value);
}

void xml_element::text(std::string_view content) {
  if (at_ == state::start_tag) {
    xml_ += '>';
    at_ = state::text;
  }
  append_xml_text(xml_, content);
}

void xml_element::begin_children() {
  if (at_ == state::start_tag) {
    xml_ += ">\n";
    at_ = state::children;
  }
}

void xml_element::close() {
  switch (at_) {
    case state::closed:
      return;
    case state::start_tag:
      xml_ += "/>\n";
      break;
    case state::children:
      xml_.append(2 * depth_, ' ');
      [[fallthrough]];
    case state::text:
      xml_ += "</";
      xml_ += name_;
      xml_ += ">\n";
      break;
  }
  at_ = state::closed;
}
