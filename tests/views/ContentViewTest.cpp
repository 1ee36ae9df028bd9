#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ScreenHarness.h"

namespace dunvel {
namespace {

TEST(ContentView, RoutesOnTheExactScreenName) {
  ScreenHarness h;
  EXPECT_EQ(h.screen(), "IdleView");  // a fresh store's snapshot is "idle"

  const std::vector<std::pair<std::string, std::string>> table = {
      {"question", "HostRemoteView"},
      {"answer", "HostRemoteView"},
      {"board", "ScoresView"},
      // The tournament glance shows even without a tournament in the snapshot.
      {"tournament", "TournamentGlanceView"},
      {"idle", "IdleView"},
      {"", "IdleView"},
      {"Question", "IdleView"},
      {"BOARD", "IdleView"},
      {"board ", "IdleView"},
      {"questions", "IdleView"},
      {"something new", "IdleView"},
  };
  for (const auto& [screen, expected] : table) {
    h.show(snapshot(screen));
    EXPECT_EQ(h.screen(), expected) << "screen \"" << screen << "\"";
    // Exactly one screen at a time.
    const auto screens = h.tree().findAll([](const Element& e) {
      return e.kind == ElementKind::view &&
             (e.viewType == "HostRemoteView" || e.viewType == "ScoresView" ||
              e.viewType == "TournamentGlanceView" || e.viewType == "IdleView");
    });
    EXPECT_EQ(screens.size(), 1u) << "screen \"" << screen << "\"";
  }
}

TEST(ContentView, RoutingIgnoresReachabilityTeamsAndTournament) {
  ScreenHarness h;
  GameState board = snapshot("board");
  board.teams = {TeamState("t1", "أ", 1)};
  h.show(board);
  ASSERT_EQ(h.screen(), "ScoresView");
  h.setReachable(true);
  EXPECT_EQ(h.screen(), "ScoresView");
  h.setReachable(false);
  EXPECT_EQ(h.screen(), "ScoresView");

  GameState idle = snapshot("idle");
  idle.teams = board.teams;
  idle.tournament = TournamentState("كأس", "", "", "", "");
  h.show(idle);
  EXPECT_EQ(h.screen(), "IdleView");
  EXPECT_EQ(h.tree().findText("كأس"), nullptr);
  EXPECT_EQ(h.tree().findText("أ"), nullptr);
}

TEST(ContentView, ReachabilityAloneKeepsTheHostRemoteScreenAndItsState) {
  ScreenHarness h;
  GameState question = snapshot("question");
  question.questionOpenedAt = ScreenHarness::kStart;
  h.show(question);
  h.loop.advance(5.0);
  ASSERT_NE(h.tree().findText("0:05"), nullptr);
  // Move the wall clock without a tick: a screen made anew would start from this moment.
  h.loop.setNow(Date{ScreenHarness::kStart + 100});
  h.setReachable(true);
  EXPECT_EQ(h.screen(), "HostRemoteView");
  EXPECT_NE(h.tree().findText("0:05"), nullptr);
}

TEST(ContentView, QuestionToAnswerKeepsNowAndBuzzed) {
  ScreenHarness h;
  GameState question = snapshot("question");
  question.questionOpenedAt = ScreenHarness::kStart - 50;
  question.teams = {TeamState("t1", "الصقور", 3)};
  h.show(question);
  h.loop.advance(10.0);  // 60 s open: the one-minute haptic
  ASSERT_EQ(h.haptics.played().size(), 1u);
  ASSERT_NE(h.tree().findText("1:00"), nullptr);

  h.loop.setNow(Date{ScreenHarness::kStart + 300});
  GameState answer = question;
  answer.screen = "answer";
  h.show(answer);
  ASSERT_EQ(h.screen(), "HostRemoteView");
  EXPECT_NE(h.tree().findText("1:00"), nullptr) << "now was reset by the phase switch";
  EXPECT_NE(h.tree().findButton("الصقور"), nullptr);

  h.loop.advance(1.0);
  EXPECT_EQ(h.haptics.played().size(), 1u) << "buzzed was reset by the phase switch";
  EXPECT_NE(h.tree().findText("5:51"), nullptr);  // the clock keeps counting in the answer phase
}

TEST(ContentView, AnotherScreenInBetweenStartsTheHostRemoteScreenOver) {
  ScreenHarness h;
  GameState question = snapshot("question");
  question.questionOpenedAt = ScreenHarness::kStart - 55;
  h.show(question);
  h.loop.advance(5.0);
  ASSERT_EQ(h.haptics.played().size(), 1u);

  h.show(snapshot("board"));
  ASSERT_EQ(h.screen(), "ScoresView");
  EXPECT_EQ(h.loop.timerCount(), 0u) << "the tick source outlived its screen";

  h.loop.setNow(Date{ScreenHarness::kStart + 100});
  h.show(question);
  ASSERT_EQ(h.screen(), "HostRemoteView");
  // now starts at the moment of creation, not at the old screen's last tick.
  EXPECT_NE(h.tree().findText("2:35"), nullptr);
  EXPECT_EQ(h.loop.timerCount(), 1u);
  // buzzed starts false: the same question, still past a minute, taps again at the first tick.
  h.loop.advance(1.0);
  EXPECT_EQ(h.haptics.played().size(), 2u);
}

TEST(ContentView, AStoreAnnouncementReEvaluatesTheShownScreen) {
  ScreenHarness h;
  GameState board = snapshot("board");
  board.teams = {TeamState("t1", "الصقور", 3)};
  h.show(board);
  ASSERT_NE(h.tree().findText("3"), nullptr);

  const std::size_t before = h.graph.stats().evaluations;
  board.teams = {TeamState("t1", "الصقور", 4)};
  h.store.state = board;
  // Nothing happens until the main queue runs the re-evaluation, and then it sees the new value.
  EXPECT_NE(h.tree().findText("3"), nullptr);
  h.loop.drain();
  EXPECT_GT(h.graph.stats().evaluations, before);
  EXPECT_NE(h.tree().findText("4"), nullptr);
  EXPECT_EQ(h.tree().findText("3"), nullptr);

  // An assignment of an equal snapshot still announces, and the screen is evaluated again.
  const std::size_t again = h.graph.stats().evaluations;
  h.show(board);
  EXPECT_GT(h.graph.stats().evaluations, again);
}

TEST(ContentView, TheScreensFindTheStoreAndTheRightToLeftDirectionInTheirEnvironment) {
  ScreenHarness h;
  const Element& root = h.tree();
  ASSERT_EQ(root.kind, ElementKind::view);
  EXPECT_EQ(root.viewType, "ContentView");
  EXPECT_NE(root.modifier(ModifierKind::environmentObject), nullptr);
  const Modifier* direction = root.modifier(ModifierKind::environment);
  ASSERT_NE(direction, nullptr);
  EXPECT_EQ(direction->layoutDirection, LayoutDirection::rightToLeft);
}

}  // namespace
}  // namespace dunvel
