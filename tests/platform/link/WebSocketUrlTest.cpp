#include "platform/link/WebSocketUrl.h"

#include <gtest/gtest.h>

#include <string>

namespace dunvel {
namespace {

// The parts a URL is cut into, or its error, as one string to compare.
std::string parts(std::string_view text) {
  const ParsedWebSocketUrl parsed = parseWebSocketUrl(text);
  switch (parsed.error) {
    case WebSocketUrlError::none:
      break;
    case WebSocketUrlError::scheme:
      return "error: scheme";
    case WebSocketUrlError::unclosedBracket:
      return "error: ]";
    case WebSocketUrlError::textAfterBracket:
      return "error: after ]";
  }
  const WebSocketUrl& url = parsed.url;
  std::string port;
  switch (url.portState) {
    case WebSocketUrl::Port::absent:
      port = "-";
      break;
    case WebSocketUrl::Port::given:
      port = std::to_string(url.port);
      break;
    case WebSocketUrl::Port::bad:
      port = "bad";
      break;
  }
  return std::string(url.secure ? "wss" : "ws") + " host=" + url.host + " port=" + port +
         " target=" + url.target;
}

// Both ways in read URLs through this one parser: the host, the port and the target must come
// apart where a browser would cut them, and what is no WebSocket URL must say why.
TEST(WebSocketUrl, CutsHostPortAndTargetWhereTheyEnd) {
  EXPECT_EQ(parts("ws://127.0.0.1:8080"), "ws host=127.0.0.1 port=8080 target=");
  EXPECT_EQ(parts("wss://watch.local:443/link?token=ab"),
            "wss host=watch.local port=443 target=/link?token=ab");
  EXPECT_EQ(parts("ws://localhost?token=ab"), "ws host=localhost port=- target=?token=ab");
  // The last colon of an unbracketed host is the port's; an IPv6 address needs its brackets.
  EXPECT_EQ(parts("ws://[::1]:0/link"), "ws host=::1 port=0 target=/link");
  EXPECT_EQ(parts("ws://[::ffff:127.0.0.1]"), "ws host=::ffff:127.0.0.1 port=- target=");
  EXPECT_EQ(parts("ws://a:b:9"), "ws host=a:b port=9 target=");
  // A colon in the target is not the port's.
  EXPECT_EQ(parts("ws://host/a:1"), "ws host=host port=- target=/a:1");
  EXPECT_EQ(parts("ws://:7"), "ws host= port=7 target=");

  for (const char* bad : {"ws://h:", "ws://h:65536", "ws://h:-1", "ws://h:8o", "ws://[::1]:"}) {
    EXPECT_EQ(parts(bad).substr(parts(bad).find("port=")), "port=bad target=") << bad;
  }
  EXPECT_EQ(parts("ws://h:65535"), "ws host=h port=65535 target=");

  for (const char* bad : {"http://h:1", "WS://h:1", "ws:/h:1", "", "/run/link.sock"}) {
    EXPECT_EQ(parts(bad), "error: scheme") << bad;
  }
  EXPECT_EQ(parts("ws://[::1:80"), "error: ]");
  EXPECT_EQ(parts("ws://[::1]80"), "error: after ]");
}

TEST(WebSocketUrl, IsShownWithoutItsToken) {
  EXPECT_EQ(shownWebSocketUrl("ws://h:1/link?token=secret"), "ws://h:1/link");
  EXPECT_EQ(shownWebSocketUrl("ws://h:1/link"), "ws://h:1/link");
}

}  // namespace
}  // namespace dunvel
