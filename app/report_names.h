// The names a class run gives each submission's report and page: unique, never the class's own
// files, and short enough for any file system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// The class's own report and page, beside the submissions' ones.
inline constexpr std::string_view class_report_name = "class.json";
inline constexpr std::string_view class_page_name = "index.html";

/// The longest report or page name given out, in bytes: a file name's limit on common systems
/// (255) less room for a temporary name beside it.
inline constexpr std::size_t longest_report_name = 240;

/// One JSON report name per path: the path's last component and ".json", made unique in order by
/// "-2", "-3"... before ".json". "class.json" is never given out; a path with no last component
/// ("", ".", "..", "x/") is named "submission". A name that would be longer than
/// longest_report_name keeps as many whole UTF-8 characters of the component as fit before "~",
/// 16 hex digits of a hash of the whole component, the copy's number and the extension. Takes
/// time in proportion to the number of paths, however many share a name.
std::vector<std::string> report_names_for(const std::vector<std::string>& paths);

/// One HTML page name per path, as report_names_for names them but ending in ".html", and never
/// "index.html" (the class's page).
std::vector<std::string> page_names_for(const std::vector<std::string>& paths);

/// One name per path, as report_names_for names them but ending in `extension`, and never
/// `reserved` (the class's own file in the folder).
std::vector<std::string> report_names_in(const std::vector<std::string>& paths,
                                         std::string_view extension, std::string_view reserved);

/// True when `name` was shortened from the last component of `path` (see report_names_for).
bool name_was_shortened(const std::string& path, const std::string& name);
