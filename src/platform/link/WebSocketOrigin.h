#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dunvel {

// What normalizeOrigin made of a text: the origin, or else one line saying why the text is none.
struct NormalizedOrigin {
  std::optional<std::string> origin;
  std::string problem;
};

// An origin as browsers send it and as it is compared: scheme://host[:port], the scheme and host
// in lower case and a default port (80 for http, 443 for https) dropped. An empty text, "null",
// or one with a path or a trailing slash (which a browser never sends, so it would never match)
// is no origin.
NormalizedOrigin normalizeOrigin(std::string_view text);

}  // namespace dunvel
