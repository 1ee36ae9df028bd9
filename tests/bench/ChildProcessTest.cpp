#include "support/ChildProcess.h"

#include <gtest/gtest.h>

namespace dunvel::bench {
namespace {

using namespace std::chrono_literals;

TEST(ChildProcessTest, WaitsForLinesAndRemembersTheLastOfAPrefix) {
  ChildProcess child({"/bin/sh", "-c", "echo 'screen idle'; echo other; echo 'screen board'"},
                     ChildProcess::Output::read, {"screen "});
  // A line that came before the wait counts; one before `after` does not.
  EXPECT_TRUE(child.waitForLine("board", 0, 10s));
  EXPECT_FALSE(child.waitForLine("idle", 1, 1s));
  EXPECT_EQ(child.linesSeen(), 3u);
  EXPECT_EQ(child.lastLineStartingWith("screen "), "screen board");
  EXPECT_THROW(child.lastLineStartingWith("other"), std::logic_error);
  EXPECT_EQ(child.stop(), 0);
  EXPECT_FALSE(child.running());
}

TEST(ChildProcessTest, StopsAProgramThatRunsOnAndReportsAnEndBySignal) {
  ChildProcess sleeper({"/bin/sleep", "60"}, ChildProcess::Output::discard);
  EXPECT_TRUE(sleeper.running());
  EXPECT_FALSE(sleeper.waitForLine("anything", 0, 10ms));
  // sleep ends on SIGTERM without exiting by itself: no exit status.
  EXPECT_EQ(sleeper.stop(2s), -1);
  EXPECT_FALSE(sleeper.running());
}

}  // namespace
}  // namespace dunvel::bench
