#include "platform/link/WebSocketOrigin.h"

#include <cctype>
#include <charconv>
#include <utility>

namespace dunvel {

NormalizedOrigin normalizeOrigin(std::string_view text) {
  const auto refused = [](std::string problem) {
    return NormalizedOrigin{std::nullopt, std::move(problem)};
  };
  const std::string shown = "'" + std::string(text) + "'";
  if (text.empty()) return refused("an origin cannot be empty");
  const std::size_t separator = text.find("://");
  if (separator == std::string_view::npos || separator == 0) {
    return refused(shown + " is not an origin (scheme://host[:port], e.g. http://localhost:8000)");
  }
  std::string scheme(text.substr(0, separator));
  for (char& c : scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return refused(shown + " is not an origin: the scheme holds '" + std::string(1, c) + "'");
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  std::string_view rest = text.substr(separator + 3);
  if (rest.find_first_of("/?#") != std::string_view::npos) {
    return refused(shown +
                   " is not an origin: it has a path, query or trailing slash (a browser sends " +
                   scheme + "://" + std::string(rest.substr(0, rest.find_first_of("/?#"))) + ")");
  }
  std::string_view port;
  std::string_view host = rest;
  const std::size_t close = rest.rfind(']');
  const std::size_t colon = rest.rfind(':');
  if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value == 0 ||
        value > 65535) {
      return refused(shown + " is not an origin: the port must be a number from 1 to 65535");
    }
  }
  if (host.empty()) return refused(shown + " is not an origin: the host is missing");
  for (const char c : host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '@' || c == '\\') {
      return refused(shown + " is not an origin: the host holds a space, a control, '@' or '\\'");
    }
  }
  const bool defaultPort = (port == "80" && (scheme == "http" || scheme == "ws")) ||
                           (port == "443" && (scheme == "https" || scheme == "wss"));
  std::string origin = scheme + "://";
  for (const char c : host)
    origin += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!port.empty() && !defaultPort) origin += ":" + std::string(port);
  return {std::move(origin), {}};
}

}  // namespace dunvel
