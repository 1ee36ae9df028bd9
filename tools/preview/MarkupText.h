#pragma once

#include <string>
#include <string_view>

namespace dunvel {

enum class MarkupPlace { content, attribute };

// Text as it goes into HTML or XML, in content or in a quoted attribute: &, <, >, " and '
// escaped, bytes that are not UTF-8 and NULs replaced (a snapshot's texts are the host's), and
// every code point XML 1.0 cannot hold (C0 controls, U+FFFE, U+FFFF) shown as U+FFFD. A carriage
// return, and in an attribute a newline or a tab, is written as a character reference, so that
// a parser reads back what was written.
std::string markupText(std::string_view text, MarkupPlace place = MarkupPlace::content);

// A relative path as it goes into a URL: every byte but letters, digits, "-._~/@" percent-encoded,
// so "#", "?", "%" and spaces in a snapshot's name still lead to its file.
std::string urlPath(std::string_view path);

}  // namespace dunvel
