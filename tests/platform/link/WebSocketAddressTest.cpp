#include <gtest/gtest.h>

#include <string>

#include "platform/link/WebSocketListener.h"

namespace dunvel {
namespace {

std::string normalized(const std::string& text) {
  const NormalizedOrigin normalized = normalizeOrigin(text);
  // Exactly one of the two comes back.
  EXPECT_NE(normalized.origin.has_value(), !normalized.problem.empty()) << text;
  return normalized.origin ? *normalized.origin : "error: " + normalized.problem;
}

// Browsers send scheme://host[:port], in lower case, without a default port and without a path:
// what the user allows is compared in that form, and what could never match is refused.
TEST(WebSocketAddress, OriginsAreComparedAsBrowsersSendThem) {
  EXPECT_EQ(normalized("http://localhost:8000"), "http://localhost:8000");
  EXPECT_EQ(normalized("HTTP://LocalHost:80"), "http://localhost");
  EXPECT_EQ(normalized("https://example.test:443"), "https://example.test");
  EXPECT_EQ(normalized("https://example.test:8443"), "https://example.test:8443");
  EXPECT_EQ(normalized("http://[::1]:8000"), "http://[::1]:8000");
  EXPECT_EQ(normalized("http://[::1]"), "http://[::1]");
  for (const char* refused :
       {"", "null", "localhost:8000", "http://localhost:8000/", "http://localhost/app",
        "http://localhost?x", "http://:80", "http://", "http://localhost:0",
        "http://localhost:99999", "http://local host", "http://user@host", "ht tp://x"}) {
    EXPECT_TRUE(normalized(refused).starts_with("error: ")) << refused;
  }
  EXPECT_NE(normalized("http://localhost:8000/").find("trailing slash"), std::string::npos);
  EXPECT_NE(normalized("").find("cannot be empty"), std::string::npos);
}

TEST(WebSocketAddress, LoopbackIsLoopbackHoweverItIsWritten) {
  for (const char* url :
       {"ws://127.0.0.1:0", "ws://127.8.9.10:1", "ws://localhost:1", "ws://[::1]:1",
        "ws://[::ffff:127.0.0.1]:1", "wss://[::ffff:127.1.2.3]:1"}) {
    WebSocketAddress address;
    ASSERT_EQ(parseWebSocketAddress(url, address), "") << url;
    EXPECT_TRUE(isLoopbackAddress(address)) << url;
  }
  for (const char* url : {"ws://0.0.0.0:1", "ws://192.168.1.2:1", "ws://[::]:1",
                          "ws://[::ffff:192.168.1.2]:1", "ws://[::2]:1"}) {
    WebSocketAddress address;
    ASSERT_EQ(parseWebSocketAddress(url, address), "") << url;
    EXPECT_FALSE(isLoopbackAddress(address)) << url;
  }
}

}  // namespace
}  // namespace dunvel
