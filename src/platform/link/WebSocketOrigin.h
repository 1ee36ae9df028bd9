#pragma once

#include <string>
#include <string_view>

namespace dunvel {

// An origin as browsers send it and as it is compared: scheme://host[:port], the scheme and host
// in lower case and a default port (80 for http, 443 for https) dropped. Empty on success, else
// one line saying why the text is no origin: an empty one, "null", or one with a path or a
// trailing slash (which a browser never sends, so it would never match) among them.
std::string normalizeOrigin(std::string_view text, std::string& origin);

}  // namespace dunvel
