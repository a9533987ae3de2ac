// Small string helpers that the checker's units share.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

inline bool OneOf(const std::string& value, std::initializer_list<const char*> values) {
  return std::any_of(values.begin(), values.end(), [&](const char* one) { return value == one; });
}

// A byte as two upper-case hex digits: "0A".
inline std::string Hex(unsigned char c) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[c >> 4], kDigits[c & 0x0F]};
}

// A text in double quotes, as a message names a path.
inline std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

inline bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Where a path's last part begins: after its last separator. A plain loop:
// find_last_of asks memchr once for each byte, and every line asks this.
inline std::string::size_type NameAt(const std::string& path, const char* separators = "\\/") {
  for (std::string::size_type at = path.size(); at > 0; --at) {
    for (const char* separator = separators; *separator != '\0'; ++separator) {
      if (path[at - 1] == *separator) return at;
    }
  }
  return 0;
}

// The last part of a path: after its last separator.
inline std::string BaseName(const std::string& path, const char* separators = "\\/") {
  return path.substr(NameAt(path, separators));
}

// Names for a message, joined by commas: the first shown of them, and how
// many more there are.
inline std::string Listed(const std::vector<std::string>& names,
                          std::size_t shown = static_cast<std::size_t>(-1)) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < shown; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > shown) text += " and " + std::to_string(names.size() - shown) + " more";
  return text;
}
