#pragma once

#include <string>
#include <string_view>

namespace dunvel {

// Text as it goes into HTML or XML, in content or in a quoted attribute: &, <, >, " and '
// escaped, bytes that are not UTF-8 replaced (a snapshot's texts are the host's), and control
// characters that XML 1.0 cannot hold shown as U+FFFD.
std::string markupText(std::string_view text);

// A relative path as it goes into a URL: every byte but letters, digits, "-._~/@" percent-encoded,
// so "#", "?", "%" and spaces in a snapshot's name still lead to its file.
std::string urlPath(std::string_view path);

}  // namespace dunvel
