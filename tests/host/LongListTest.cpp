#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/PushLine.h"
#include "platform/link/ChildProcess.h"
#include "platform/link/LinkTestSupport.h"

namespace dunvel {
namespace {

using testing::TempFolder;

// The longest board a snapshot line allows: 95 305 teams of an empty id, just under 1 MiB. The
// last team is named, so its row can be found.
std::string longBoard() {
  std::string line = R"({"screen":"board","gameName":"long list","teams":[)";
  for (int i = 0; i < 95'304; ++i) line += R"({"id":""},)";
  return line + R"({"id":"","name":"last"}]})";
}

// The link's frame around a snapshot.
std::string contextFrame(const std::string& snapshot) {
  return R"({"type":"context","payload":)" + snapshot + "}\n";
}

// waitForOutput, given up to eight of its deadlines.
bool waitLong(testing::ChildProcess& process, const std::string& text) {
  for (int i = 0; i < 8; ++i) {
    if (process.waitForOutput(text)) return true;
  }
  return false;
}

TEST(LongList, TheCompanionShowsTheLongestBoardAndThenASmallOne) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  testing::ChildProcess watch(DUNVEL_WATCH_PATH, {"--headless", "--link", path.string()});
  ASSERT_TRUE(watch.waitForOutput("listening on")) << watch.output();

  const std::string board = longBoard();
  ASSERT_LT(contextFrame(board).size(), 1u << 20);
  // Generous: under a sanitizer the companion takes many times longer over 95 305 rows.
  EXPECT_EQ(pushLine(path, contextFrame(board), std::chrono::minutes(4)), "");
  ASSERT_TRUE(waitLong(watch, "screen scoreboard: long list")) << watch.output().substr(0, 200);

  EXPECT_EQ(pushLine(path, contextFrame(R"({"screen":"board","gameName":"after the list",)"
                                        R"("teams":[{"id":"a","name":"A","points":3},)"
                                        R"({"id":"b","name":"B"}]})")),
            "");
  ASSERT_TRUE(waitLong(watch, "screen scoreboard: after the list | A | 3 | B | 0"));
  watch.signal(SIGTERM);
  EXPECT_EQ(watch.exitStatus(), 0);
}

TEST(LongList, PreviewDrawsTheLongestBoard) {
  TempFolder folder;
  const auto input = folder.path() / "board.json";
  const auto output = folder.path() / "board.png";
  std::ofstream(input) << longBoard() << '\n';
  testing::ChildProcess png(DUNVEL_PREVIEW_PATH, {"png", input.string(), "-o", output.string()});
  EXPECT_EQ(png.exitStatus(), 0) << png.output();
  EXPECT_GT(std::filesystem::file_size(output), 0u);
}

}  // namespace
}  // namespace dunvel
