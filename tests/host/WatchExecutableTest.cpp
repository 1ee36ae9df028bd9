#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/PushLine.h"
#include "platform/link/ChildProcess.h"
#include "wire/LinkFrame.h"
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
  EXPECT_EQ(unknown.output(),
            "dunvel-watch: The following argument was not expected: --fly (see --help)\n");

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

double secondsNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double openedAt(const ContextDictionary& snapshot) {
  const double* opened = snapshot.at("questionOpenedAt").get_if<double>();
  return opened != nullptr ? *opened : NAN;
}

TEST(WatchExecutable, ARecordedDemoNightReplaysAndANewRunIsAppended) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  const std::string night = (folder.path() / "night.jsonl").string();
  {
    WatchProcess watch({"--headless", "--demo", "--link", path.string(), "--record", night});
    ASSERT_TRUE(watch.waitForOutput("recording to " + night)) << watch.output();
    ASSERT_TRUE(watch.waitForOutput("host: answer revealed")) << watch.output();
    ASSERT_TRUE(watch.waitForOutput("screen answer")) << watch.output();
    watch.signal(SIGTERM);
    EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  }
  {
    WatchProcess again({"--headless", "--demo", "--link", path.string(), "--record", night});
    ASSERT_TRUE(again.waitForOutput("screen question")) << again.output();
    again.signal(SIGINT);
    EXPECT_EQ(again.exitStatus(), 0) << again.output();
  }
  WatchProcess replay({"replay", night}, DUNVEL_PREVIEW_PATH);
  EXPECT_EQ(replay.exitStatus(), 0) << replay.output();
  EXPECT_NE(replay.output().find(night + ": match (2 recordings,"), std::string::npos)
      << replay.output();

  WatchProcess unwritable(
      {"--headless", "--link", path.string(), "--record", folder.path().string()});
  EXPECT_EQ(unwritable.exitStatus(), 1);
  EXPECT_NE(unwritable.output().find("cannot record to " + folder.path().string()),
            std::string::npos)
      << unwritable.output();
}

TEST(WatchExecutable, HostReplaySendsTheRecordedFramesFromAnyPoint) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  const std::string recording = (folder.path() / "night.jsonl").string();
  // Recorded on 2020-01-01: the question opened 50 ms before its first frame.
  std::ofstream(recording)
      << R"({"t":0,"wall":"2020-01-01T00:00:00.000000Z","event":"start"})"
         "\n"
      << R"({"t":100,"wall":"","event":"connect"})"
         "\n"
      << R"({"t":100,"wall":"","event":"frame","frame":{"type":"context","payload":)"
      << R"({"screen":"question","questionOpenedAt":1577836800.05}}})"
         "\n"
      << R"({"t":200,"wall":"","event":"frame","frame":{"type":"reachability","reachable":false}})"
      << "\n"
      << R"({"t":300,"wall":"","event":"frame","frame":{"type":"reachability","reachable":true}})"
      << "\n"
      << R"({"t":400,"wall":"","event":"frame","frame":{"type":"message","payload":)"
      << R"({"screen":"answer","questionOpenedAt":1577836800.05}}})"
         "\n"
      << R"({"t":420,"wall":"","event":"screen","screen":"answer","shows":"answer: 0:00"})"
         "\n"
      << R"({"t":5000,"wall":"","event":"frame","frame":{"type":"context","payload":)"
      << R"({"screen":"board"}}})"
         "\n";
  testing::TestCompanion companion(path);
  ASSERT_EQ(companion.listenProblem, "");

  // As fast as the link takes them: every frame, in order, the question moved to now.
  const double before = secondsNow();
  WatchProcess all({"replay", recording, "--speed", "0", "--link", path.string()},
                   DUNVEL_HOST_PATH);
  EXPECT_EQ(all.exitStatus(), 0) << all.output();
  EXPECT_NE(all.output().find("replayed 5 frames"), std::string::npos) << all.output();
  auto events = companion.delegate.waitForEvents(7);
  ASSERT_GE(events.size(), 7u);
  EXPECT_EQ(events[2].kind, "context");
  EXPECT_EQ(events[3].kind, "reachability");
  EXPECT_FALSE(events[3].reachableThen);
  EXPECT_EQ(events[4].kind, "reachability");
  EXPECT_EQ(events[5].kind, "message");
  EXPECT_EQ(events[6].dictionary, (ContextDictionary{{"screen", "board"}}));
  const double opened = openedAt(events[2].dictionary);
  EXPECT_NEAR(opened, before - 0.05, 5.0) << "sent now, 50 ms after its question opened";
  EXPECT_EQ(openedAt(events[5].dictionary), opened) << "the same question stays the same";

  // From 450 ms: at once the answer as it stood then (opened 400 ms before), then the board.
  const std::size_t seen = companion.delegate.waitForEvents(8).size();
  WatchProcess later(
      {"replay", recording, "--speed", "0", "--from", "450", "--link", path.string()},
      DUNVEL_HOST_PATH);
  EXPECT_EQ(later.exitStatus(), 0) << later.output();
  EXPECT_NE(later.output().find("replayed 2 frames"), std::string::npos) << later.output();
  events = companion.delegate.waitForEvents(seen + 3);
  ASSERT_GE(events.size(), seen + 3);
  EXPECT_EQ(events[seen + 1].kind, "message");
  EXPECT_EQ(events[seen + 1].dictionary.at("screen"), ContextValue("answer"));
  EXPECT_NEAR(secondsNow() - openedAt(events[seen + 1].dictionary), 0.4, 2.0);
  EXPECT_EQ(events[seen + 2].dictionary, (ContextDictionary{{"screen", "board"}}));

  WatchProcess badSpeed({"replay", recording, "--speed", "-1", "--link", path.string()},
                        DUNVEL_HOST_PATH);
  EXPECT_EQ(badSpeed.exitStatus(), 2);
  WatchProcess missing({"replay", recording + ".none", "--link", path.string()}, DUNVEL_HOST_PATH);
  EXPECT_EQ(missing.exitStatus(), 1);
}

}  // namespace
}  // namespace dunvel
