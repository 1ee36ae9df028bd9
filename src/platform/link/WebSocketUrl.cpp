#include "platform/link/WebSocketUrl.h"

#include <charconv>

namespace dunvel {

namespace {

void readPort(std::string_view text, WebSocketUrl& url) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 65535) {
    url.portState = WebSocketUrl::Port::bad;
    return;
  }
  url.portState = WebSocketUrl::Port::given;
  url.port = static_cast<std::uint16_t>(value);
}

}  // namespace

ParsedWebSocketUrl parseWebSocketUrl(std::string_view text) {
  ParsedWebSocketUrl parsed;
  WebSocketUrl& url = parsed.url;
  if (text.starts_with("ws://")) {
    text.remove_prefix(5);
  } else if (text.starts_with("wss://")) {
    url.secure = true;
    text.remove_prefix(6);
  } else {
    parsed.error = WebSocketUrlError::scheme;
    return parsed;
  }
  const std::size_t slash = text.find_first_of("/?");
  const std::string_view authority = text.substr(0, slash);
  if (slash != std::string_view::npos) url.target = std::string(text.substr(slash));
  if (authority.starts_with('[')) {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) {
      parsed.error = WebSocketUrlError::unclosedBracket;
      return parsed;
    }
    url.host = std::string(authority.substr(1, close - 1));
    if (close + 1 == authority.size()) return parsed;
    if (authority[close + 1] != ':') {
      parsed.error = WebSocketUrlError::textAfterBracket;
      return parsed;
    }
    readPort(authority.substr(close + 2), url);
    return parsed;
  }
  const std::size_t colon = authority.rfind(':');
  url.host = std::string(authority.substr(0, colon));
  if (colon != std::string_view::npos) readPort(authority.substr(colon + 1), url);
  return parsed;
}

std::string shownWebSocketUrl(std::string_view text) {
  return std::string(text.substr(0, text.find('?')));
}

}  // namespace dunvel
