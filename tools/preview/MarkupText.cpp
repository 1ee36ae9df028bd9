#include "preview/MarkupText.h"

#include <glib.h>

#include <cstdio>

namespace dunvel {
namespace {

// What XML 1.0 can hold at all, escaped or not: a document with anything else (U+FFFE, U+FFFF,
// most C0 controls) is not well-formed, and a CI that reads it rejects the whole report.
bool xmlAllows(gunichar c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

constexpr const char* kReplacement = "\xEF\xBF\xBD";

}  // namespace

std::string markupText(std::string_view text, MarkupPlace place) {
  std::string escaped;
  escaped.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const gunichar c =
        g_utf8_get_char_validated(text.data() + i, static_cast<gssize>(text.size() - i));
    // Not UTF-8 (a snapshot's texts are the host's), or a NUL: one byte becomes U+FFFD.
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      escaped += kReplacement;
      ++i;
      continue;
    }
    const std::size_t length = g_utf8_skip[static_cast<unsigned char>(text[i])];
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      // A parser turns a carriage return into a newline anywhere, and a newline or a tab in an
      // attribute into a space: as references, each reads back as written.
      case '\r':
        escaped += "&#13;";
        break;
      case '\n':
        escaped += place == MarkupPlace::attribute ? "&#10;" : "\n";
        break;
      case '\t':
        escaped += place == MarkupPlace::attribute ? "&#9;" : "\t";
        break;
      default:
        if (xmlAllows(c)) {
          escaped.append(text, i, length);
        } else {
          escaped += kReplacement;
        }
    }
    i += length;
  }
  return escaped;
}
std::string urlPath(std::string_view path) {
  std::string encoded;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                       c == '~' || c == '/' || c == '@';
    if (plain) {
      encoded += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", byte);
      encoded += hex;
    }
  }
  return encoded;
}

}  // namespace dunvel
