// XML 1.0 text and attribute values appended to a document held in memory, escaped so that the
// document stays well-formed whatever bytes they hold.
#pragma once

#include <cstddef>
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

/// An element appended to a document held in memory, closed by `close` or the destructor,
/// whichever comes first. Made, it writes its indent (two spaces a level) and "<name"; attributes
/// follow. Its first child or text ends the start tag. Closed, it writes "/>" when it stayed
/// empty, "</name>" after text, or its indent and "</name>" after child elements, then a line
/// feed. Not copied or moved: a scope stays where its tag is. Names are kept by view: literals.
class xml_element {
 public:
  /// An element at `depth` levels of indent, appended to `xml`; the caller may flush and clear
  /// `xml` between writes.
  xml_element(std::string& xml, std::string_view name, std::size_t depth = 0);
  /// A child of `parent`, one level deeper.
  xml_element(xml_element& parent, std::string_view name);
  xml_element(const xml_element&) = delete;
  xml_element& operator=(const xml_element&) = delete;
  ~xml_element() { close(); }

  /// Attributes, escaped as by `append_xml_attribute`; only before the first child or text.
  void attribute(std::string_view name, std::string_view value);
  void attribute(std::string_view name, std::int64_t value);
  /// Content, escaped as by `append_xml_text`.
  void text(std::string_view content);
  /// Ends the start tag as a first child would, for children written into `xml` by other means
  /// (each on lines of its own, one level deeper).
  void begin_children();
  void close();

 private:
  enum class state : std::uint8_t { start_tag, text, children, closed };
  // The document a child goes into, once its parent's start tag has ended.
  static std::string& children_of(xml_element& parent);
  std::string& xml_;
  std::string_view name_;
  std::size_t depth_;
  state at_ = state::start_tag;
};
