#include "platform/link/WebSocketAddress.h"

#include <boost/asio/ip/address.hpp>

#include "platform/link/WebSocketUrl.h"

namespace dunvel {

namespace net = boost::asio;
using ErrorCode = boost::system::error_code;

std::string parseWebSocketAddress(std::string_view text, WebSocketAddress& address) {
  const std::string shown(text);
  const ParsedWebSocketUrl parsed = parseWebSocketUrl(text);
  switch (parsed.error) {
    case WebSocketUrlError::none:
      break;
    case WebSocketUrlError::scheme:
      return shown + ": expected ws://ADDRESS:PORT or wss://ADDRESS:PORT";
    case WebSocketUrlError::unclosedBracket:
      return shown + ": an IPv6 address needs its closing ]";
    case WebSocketUrlError::textAfterBracket:
      return shown + ": the port is missing (ADDRESS:PORT)";
  }
  const WebSocketUrl& url = parsed.url;
  if (url.portState == WebSocketUrl::Port::absent) {
    return shown + ": the port is missing (ADDRESS:PORT)";
  }
  // The endpoint is an address and a port: whatever follows them is read as part of the port.
  if (url.portState == WebSocketUrl::Port::bad || !url.target.empty()) {
    return shown + ": the port must be a number from 0 to 65535";
  }
  WebSocketAddress parsedAddress{url.secure, url.host, url.port};
  ErrorCode error;
  net::ip::make_address(parsedAddress.ipText(), error);
  if (error) {
    return shown + ": " +
           (url.host.empty() ? std::string("the address is missing")
                             : "'" + url.host + "' is not an IP address");
  }
  address = std::move(parsedAddress);
  return {};
}

bool isLoopbackAddress(const WebSocketAddress& address) {
  ErrorCode error;
  const net::ip::address ip = net::ip::make_address(address.ipText(), error);
  if (error) return false;
  // ::ffff:127.0.0.1 is 127.0.0.1 reached through an IPv6 socket.
  if (ip.is_v6() && ip.to_v6().is_v4_mapped()) {
    return net::ip::make_address_v4(net::ip::v4_mapped, ip.to_v6()).is_loopback();
  }
  return ip.is_loopback();
}

}  // namespace dunvel
