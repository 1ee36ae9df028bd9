#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dunvel {

// A ws:// or wss:// URL, cut into its parts as written: the companion reads its --listen address
// this way, and a host the link it connects to. Each side then applies its own rules (the
// companion wants an IP address and a port and nothing after them; a host may name a host, leave
// the port out and give a path).
struct WebSocketUrl {
  enum class Port {
    absent,  // no ":PORT"
    given,   // a number from 0 to 65535, in port
    bad,     // ":" followed by anything else, or by nothing
  };

  bool secure = false;
  // As written, an IPv6 address without its brackets; may be empty.
  std::string host;
  Port portState = Port::absent;
  std::uint16_t port = 0;
  // What follows the host and port: a path and a query ("/link?token=…"), or empty.
  std::string target;
};

// Why a text is not a ws:// or wss:// URL at all.
enum class WebSocketUrlError {
  none,
  scheme,            // it starts with neither ws:// nor wss://
  unclosedBracket,   // "[" with no "]"
  textAfterBracket,  // "[…]" followed by something other than ":PORT"
};

struct ParsedWebSocketUrl {
  WebSocketUrl url;
  WebSocketUrlError error = WebSocketUrlError::none;
};

// Splits the text at the first '/' or '?' after the scheme: what comes before is the host and
// the port (the last ':' of an unbracketed host separates them), what comes after the target.
ParsedWebSocketUrl parseWebSocketUrl(std::string_view text);

// The URL as it may be shown in a message: without its query, which carries the token.
std::string shownWebSocketUrl(std::string_view text);

}  // namespace dunvel
