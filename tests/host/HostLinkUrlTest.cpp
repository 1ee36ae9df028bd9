#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/WebSocketHostLink.h"
#include "platform/link/LinkTestSupport.h"

namespace dunvel {
namespace {

// A host reads the companion's URL through the parser both ways in share, by its own rules: a
// port it may leave out, but no missing host, no port 0, and never the token in a message.
TEST(HostLinkUrl, AHostsLinkMayLeaveOutThePortButNotTheHostAndNeverShowsTheToken) {
  for (const char* good : {"ws://127.0.0.1", "wss://watch.local:8443/link?token=abc",
                           "ws://[::1]:9", "ws://localhost?token=abc"}) {
    EXPECT_EQ(checkWebSocketLinkUrl(good), "") << good;
  }
  EXPECT_EQ(checkWebSocketLinkUrl("ws://:80/?token=secret"), "ws://:80/: the host is missing");
  EXPECT_EQ(checkWebSocketLinkUrl("ws://h:0?token=secret"),
            "ws://h:0: the port must be a number from 1 to 65535");
  EXPECT_EQ(checkWebSocketLinkUrl("ws://h:65536"),
            "ws://h:65536: the port must be a number from 1 to 65535");
  EXPECT_EQ(checkWebSocketLinkUrl("http://h:1"),
            "http://h:1: a WebSocket link starts with ws:// or wss://");
  EXPECT_EQ(checkWebSocketLinkUrl("ws://[::1]80"),
            "ws://[::1]80: expected :PORT after the address");
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

// A link given without its token finds the URL file of the companion on that address: the same
// scheme, host and port (a port left out is the scheme's own), and only a file with a token.
TEST(HostLinkUrl, ALinkWithoutItsTokenFindsTheFileOfTheCompanionOnThatAddressOnly) {
  testing::TempFolder folder;
  const auto& dir = folder.path();
  writeFile(dir / "a.sock.url", "ws://127.0.0.1:80/?token=first-token-0123456789\n");
  writeFile(dir / "b.sock.url", "ws://127.0.0.1:9000/\n");  // no token: not a match
  writeFile(dir / "c.sock.url", "wss://127.0.0.1:9001/?token=tls-token-0123456789\n");
  writeFile(dir / "d.sock.url", "not a url\n");
  writeFile(dir / "e.txt", "ws://127.0.0.1:9002/?token=wrong-file-0123456789\n");

  std::string url;
  ASSERT_EQ(findLinkUrl("ws://127.0.0.1", dir, url), "");
  EXPECT_EQ(url, "ws://127.0.0.1:80/?token=first-token-0123456789");
  ASSERT_EQ(findLinkUrl("wss://127.0.0.1:9001/", dir, url), "");
  EXPECT_EQ(url, "wss://127.0.0.1:9001/?token=tls-token-0123456789");

  for (const char* unmatched :
       {"ws://127.0.0.1:9000", "ws://127.0.0.1:9001", "ws://127.0.0.1:9002", "wss://127.0.0.1"}) {
    url.clear();
    const std::string problem = findLinkUrl(unmatched, dir, url);
    EXPECT_NE(problem.find("no companion in " + dir.string() + " wrote a URL file"),
              std::string::npos)
        << unmatched << ": " << problem;
    EXPECT_EQ(url, "") << unmatched;
  }
  EXPECT_NE(findLinkUrl("ws://127.0.0.1", dir / "missing", url).find("cannot be read"),
            std::string::npos);
  EXPECT_EQ(findLinkUrl("ws://:1", dir, url), "ws://:1: the host is missing");
}

}  // namespace
}  // namespace dunvel
