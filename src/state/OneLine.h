#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dunvel {

namespace oneline_detail {

// How many bytes the well-formed UTF-8 sequence at text[at] takes, 0 when it is not one.
inline std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    // No overlong forms and no surrogates.
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

inline void appendHex(std::string& line, const char* prefix, unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  line += prefix;
  line += kHex[(value >> 4) & 0xF];
  line += kHex[value & 0xF];
}

// Whether the three-byte UTF-8 sequence at text[at] is a bidirectional embedding, override or
// isolate (U+202A to U+202E, U+2066 to U+2069) or a line or paragraph separator (U+2028,
// U+2029): each reorders or breaks what a terminal shows after it.
inline bool isLayoutControl(std::string_view text, std::size_t at) {
  if (static_cast<unsigned char>(text[at]) != 0xE2) return false;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  const auto third = static_cast<unsigned char>(text[at + 2]);
  return (second == 0x80 && third >= 0xA8 && third <= 0xAE) ||
         (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}

}  // namespace oneline_detail

// The text as one line that a terminal shows as written, for a log, an error or any output that
// quotes a name, a snapshot's text, a recording or a file name. A newline in any of them would
// let it forge a line of its own, and an ESC or a C1 control (U+0080 to U+009F, which some
// terminals take as ESC and a letter) would start a sequence that clears the screen, sets the
// title or writes the clipboard; a bidirectional override or isolate, or a line separator, would
// reorder or break what follows it on the line. So C0 controls and DEL are escaped as \n, \r, \t
// or \xNN, C1 controls as \u00NN, those layout controls as \u20NN, and bytes that are not UTF-8
// as \xNN; everything else is kept.
inline std::string oneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte == '\n') {
        line += "\\n";
      } else if (byte == '\r') {
        line += "\\r";
      } else if (byte == '\t') {
        line += "\\t";
      } else if (byte < 0x20 || byte == 0x7F) {
        oneline_detail::appendHex(line, "\\x", byte);
      } else {
        line += text[i];
      }
      ++i;
      continue;
    }
    const std::size_t length = oneline_detail::utf8SequenceLength(text, i);
    if (length == 0) {
      oneline_detail::appendHex(line, "\\x", byte);
      ++i;
    } else if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      oneline_detail::appendHex(line, "\\u00", static_cast<unsigned char>(text[i + 1]));
      i += 2;
    } else if (length == 3 && oneline_detail::isLayoutControl(text, i)) {
      // U+20NN: the low byte of the code point is NN.
      const unsigned low = (static_cast<unsigned char>(text[i + 1]) & 0x03u) << 6 |
                           (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
      oneline_detail::appendHex(line, "\\u20", low);
      i += 3;
    } else {
      line.append(text, i, length);
      i += length;
    }
  }
  return line;
}

// The text as oneLine shows it, in double quotes, with a quote or backslash inside escaped by a
// backslash: for a field of a text output that may itself hold the output's separators (a
// label, or a key holding ": "), so that where it ends cannot be forged.
inline std::string quotedLine(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size() + 2);
  for (const char c : text) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return '"' + oneLine(escaped) + '"';
}

}  // namespace dunvel
