// Reports compared across runs: JUnit's time attributes are measured, so two runs differ there
// alone.
#pragma once

#include <string>

/// `text` with every ` time="..."` attribute left out.
inline std::string without_times(std::string text) {
  const std::string attribute = " time=\"";
  for (std::size_t at = text.find(attribute); at != std::string::npos;
       at = text.find(attribute, at)) {
    const std::size_t end = text.find('"', at + attribute.size());
    if (end == std::string::npos) break;
    text.erase(at, end + 1 - at);
  }
  return text;
}
