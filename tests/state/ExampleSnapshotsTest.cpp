// The example snapshots are what people push first: each must read cleanly and show the screen
// its file is named after.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "state/ContextDecoding.h"
#include "state/SnapshotJson.h"

namespace dunvel {
namespace {

TEST(ExampleSnapshots, EachReadsAndShowsItsScreen) {
  for (const std::string screen : {"idle", "question", "answer", "board", "tournament"}) {
    const std::string path = std::string(DUNVEL_EXAMPLES_DIR) + "/" + screen + ".json";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "cannot open " << path;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const JsonReadResult read = readSnapshotJson(bytes.str());
    ASSERT_TRUE(read.ok()) << path << ": " << read.error;
    const GameState state = decodeGameState(read.dictionary);
    EXPECT_EQ(state.screen, screen) << path;
    EXPECT_NE(state.gameName, "") << path;
    if (screen == "question" || screen == "answer") {
      EXPECT_EQ(state.teams.size(), 3u) << path;
      EXPECT_GT(state.questionPoints, 0) << path;
      EXPECT_NE(state.questionMode, "") << path;
      EXPECT_GT(state.questionOpenedAt, 0.0) << path;
    }
    if (screen == "tournament") {
      EXPECT_TRUE(state.tournament.has_value()) << path;
    }
  }
}

}  // namespace
}  // namespace dunvel
