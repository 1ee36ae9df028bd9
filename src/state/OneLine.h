#pragma once

#include <string>
#include <string_view>

namespace dunvel {

// The text with its control characters shown as \u00XX, so that an error quoting an argument or
// a file name (either may hold a newline) stays on one line.
inline std::string oneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      line += "\\u00";
      line += kHex[byte >> 4];
      line += kHex[byte & 0xF];
    } else {
      line += c;
    }
  }
  return line;
}

}  // namespace dunvel
