// Text and numbers appended to an HTML page held in memory. Every byte that comes from outside
// (paths, tokens, messages) goes through append_html, the page's one escaper.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// `text` made safe both as element content and inside a double- or single-quoted attribute:
/// & < > " ' become character references, tab and line feed stay, well-formed UTF-8 passes
/// unchanged, and each other control byte and each byte that starts no well-formed UTF-8 sequence
/// becomes &#xFFFD; (U+FFFD). Any bytes give a page that parses as written.
void append_html(std::string& html, std::string_view text);

/// `name` as one relative URL path segment, for an href: every byte but A-Z a-z 0-9 - . _ ~
/// becomes %XX (so "/", ":", "?" and "#" can't change what the link points at). Any bytes are
/// safe; the result needs no further escaping inside a quoted attribute.
void append_url_segment(std::string& html, std::string_view name);

/// The policy every page carries: nothing loads, runs or is fetched; only its own inline style
/// applies, so a name or token that escaped the escaping still could not act.
inline constexpr std::string_view content_security_policy =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'\">";

/// `value` in decimal, with a minus sign when negative.
void append_html_number(std::string& html, std::int64_t value);

/// `value` in decimal with a comma between groups of three digits: 9,999,958.
void append_grouped_number(std::string& html, std::int64_t value);

/// The same two forms as strings of their own.
std::string html_number(std::int64_t value);
std::string grouped_number(std::int64_t value);
