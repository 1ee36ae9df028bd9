#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "host/PushLine.h"
#include "platform/link/ChildProcess.h"
#include "platform/link/LinkFrame.h"
#include "platform/link/LinkTestSupport.h"
#include "platform/link/TestCompanion.h"

namespace dunvel {
namespace {

using testing::TempFolder;

// dunvel-watch unless told otherwise.
class WatchProcess : public testing::ChildProcess {
 public:
  explicit WatchProcess(std::vector<std::string> arguments, std::string program = DUNVEL_WATCH_PATH)
      : ChildProcess(std::move(program), std::move(arguments)) {}
};

TEST(WatchExecutable, ListensTakesAPushAndEndsCleanlyOnASignal) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  WatchProcess watch({"--headless", "--link", path.string()});
  ASSERT_TRUE(watch.waitForOutput("listening on " + path.string())) << watch.output();

  EXPECT_EQ(pushLine(path, LinkFrame::contextLine({{"screen", "board"}, {"gameName", "x"}})), "");

  // A second companion on the same path is refused and leaves the first alone.
  WatchProcess second({"--headless", "--link", path.string()});
  EXPECT_EQ(second.exitStatus(), 1);
  EXPECT_NE(second.output().find("another companion is already listening"), std::string::npos)
      << second.output();
  EXPECT_EQ(std::count(second.output().begin(), second.output().end(), '\n'), 1)
      << "one line: " << second.output();
  EXPECT_EQ(pushLine(path, LinkFrame::contextLine({{"screen", "idle"}})), "");

  watch.signal(SIGTERM);
  EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  EXPECT_FALSE(std::filesystem::exists(path)) << "the socket file is removed on the way out";

  // Killed without a chance to clean up, it leaves its socket behind; the next start is not
  // stopped by that, and Ctrl-C ends it cleanly too.
  {
    WatchProcess killed({"--headless", "--link", path.string()});
    ASSERT_TRUE(killed.waitForOutput("listening on")) << killed.output();
    killed.signal(SIGKILL);
    killed.exitStatus();
  }
  EXPECT_TRUE(std::filesystem::exists(path));
  WatchProcess restarted({"--headless", "--link", path.string()});
  ASSERT_TRUE(restarted.waitForOutput("listening on")) << restarted.output();
  EXPECT_EQ(pushLine(path, LinkFrame::contextLine({{"screen", "board"}})), "");
  restarted.signal(SIGINT);
  EXPECT_EQ(restarted.exitStatus(), 0) << restarted.output();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(WatchExecutable, RejectsBadUsageAndExplainsItself) {
  WatchProcess help({"--help"});
  EXPECT_EQ(help.exitStatus(), 0);
  EXPECT_NE(help.output().find("--link"), std::string::npos);
  EXPECT_NE(help.output().find("--demo"), std::string::npos);
  WatchProcess unknown({"--fly"});
  EXPECT_EQ(unknown.exitStatus(), 2);

  TempFolder folder;
  std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
  WatchProcess open({"--link", (folder.path() / "link.sock").string()});
  EXPECT_EQ(open.exitStatus(), 1);
  EXPECT_NE(open.output().find("refusing link folder"), std::string::npos) << open.output();
}

TEST(WatchExecutable, DemoPlaysARoundWithNobodyAtTheWatch) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  WatchProcess watch({"--headless", "--demo", "--link", path.string()});
  ASSERT_TRUE(watch.waitForOutput("host: connected to the companion")) << watch.output();
  ASSERT_TRUE(watch.waitForOutput("host: answer revealed")) << watch.output();
  ASSERT_TRUE(watch.waitForOutput("host: awarded")) << watch.output();
  watch.signal(SIGTERM);
  EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(WatchExecutable, HostListenPrintsEachCommandAsOneJsonLine) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  testing::TestCompanion companion(path);
  ASSERT_EQ(companion.listenProblem, "");

  WatchProcess listener({"listen", "--link", path.string()}, DUNVEL_HOST_PATH);
  // Commands go out only once the host is there.
  companion.delegate.waitForEvents(2);
  ASSERT_TRUE(companion.session.isReachable());
  companion.session.sendMessage({{"action", "award"}, {"teamId", "t2"}});
  companion.session.sendMessage({{"action", "reveal"}});
  ASSERT_TRUE(listener.waitForOutput("{\"action\":\"reveal\"}\n")) << listener.output();
  EXPECT_EQ(listener.output(),
            "{\"action\":\"award\",\"teamId\":\"t2\"}\n{\"action\":\"reveal\"}\n");
  listener.signal(SIGINT);
  EXPECT_EQ(listener.exitStatus(), 0) << listener.output();
}

}  // namespace
}  // namespace dunvel
