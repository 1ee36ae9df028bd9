#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dunvel {

// Where the WebSocket endpoint listens: ws://ADDRESS:PORT, or wss://ADDRESS:PORT for TLS.
struct WebSocketAddress {
  bool secure = false;
  // An IPv4 or IPv6 address (without brackets), as given; "localhost" stands for 127.0.0.1.
  std::string host;
  // 0 picks a free port.
  std::uint16_t port = 0;

  // The host as an IP address's text: "localhost" is 127.0.0.1.
  std::string ipText() const { return host == "localhost" ? "127.0.0.1" : host; }
};

// Reads "ws://ADDRESS:PORT" or "wss://ADDRESS:PORT" (an IPv6 address in brackets, no path).
// Empty on success, else one line saying what is wrong.
std::string parseWebSocketAddress(std::string_view text, WebSocketAddress& address);

// Whether the address is one only this machine can reach.
bool isLoopbackAddress(const WebSocketAddress& address);

}  // namespace dunvel
