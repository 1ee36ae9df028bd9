#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ScreenHarness.h"
#include "ShownLooks.h"
#include "views/AppColors.h"

namespace dunvel {
namespace {

constexpr double kStart = ScreenHarness::kStart;

GameState question(double openedAt) {
  GameState state = snapshot("question");
  state.questionOpenedAt = openedAt;
  state.questionPoints = 20;
  return state;
}

const Element& statusRow(const ScreenHarness& h) {
  const Element& view = h.view("HostRemoteView");
  // view → scroll view → stack → status row
  return view.children.at(0).children.at(0).children.at(0);
}

std::string clock(const ScreenHarness& h) {
  return statusRow(h).children.at(1).text->shown();
}
Color clockColor(const ScreenHarness& h) {
  return *statusRow(h).children.at(1).modifier(ModifierKind::foregroundColor)->color;
}
Color symbolColor(const ScreenHarness& h) {
  return *statusRow(h).children.at(0).modifier(ModifierKind::foregroundColor)->color;
}

// What the wearer reads above the controls, in order, and how: the timer and the running clock
// (the host's figures are not translated), the question's points in gold, the host's mode line
// cut at one line; then the reveal control.
TEST(HostRemoteView, TheQuestionPhaseReadsClockPointsAndModeAboveTheRevealControl) {
  ScreenHarness h;
  GameState state = question(kStart - 9);
  state.questionMode = "سؤال سريع";
  h.show(state);

  const std::optional<Font> none;
  const std::optional<int> wraps;
  const std::vector<ShownLook> looks = shownLooks(h.view("HostRemoteView"));
  ASSERT_GE(looks.size(), 4u);
  EXPECT_EQ(std::vector<ShownLook>(looks.begin(), looks.begin() + 4),
            (std::vector<ShownLook>{
                {"timer", false, none, accentGold(), wraps},
                {"0:09", false, Font::title3().monospacedDigit().bold(), Color::primary(), wraps},
                {"20", true, Font::headline(), accentGold(), wraps},
                {"سؤال سريع", false, Font::footnote(), Color::secondary(), 1},
            }));
  // The points go through the string table as a number, so they read in the wearer's digits.
  EXPECT_EQ(h.tree().findText("20")->text->key(), "%lld");

  // Everything scrolls, with its indicator, when it does not fit.
  const Element& scroll = h.view("HostRemoteView").children.at(0);
  EXPECT_EQ(scroll.kind, ElementKind::scrollView);
  EXPECT_EQ(scroll.axis, Axis::vertical);
  EXPECT_EQ(scroll.showsIndicators, ShowsIndicators::yes);
  const Element& stack = scroll.children.at(0);
  ASSERT_EQ(stack.children.size(), 3u);  // status row, mode line, reveal control
  EXPECT_EQ(stack.children[2].viewType, "RevealControl");
  EXPECT_EQ(h.tree().findAll(ElementKind::button).size(), 1u);

  // No mode: the controls follow the status row directly. Negative points keep their sign.
  state.questionMode = "";
  state.questionPoints = -15;
  h.show(state);
  const Element& plain = h.view("HostRemoteView").children.at(0).children.at(0);
  ASSERT_EQ(plain.children.size(), 2u);
  EXPECT_EQ(plain.children[1].viewType, "RevealControl");
  EXPECT_NE(h.tree().findText("-15"), nullptr);
}

TEST(HostRemoteView, AnswerPhaseHasOneAwardControlPerTeamThenNoAnswer) {
  ScreenHarness h;
  GameState state = question(kStart);
  state.screen = "answer";
  // Two teams share an id: each still gets its own control.
  state.teams = {TeamState("t2", "النمور", 7), TeamState("t1", "الصقور", 12),
                 TeamState("t2", "الذئاب", 0)};
  h.show(state);
  const Element& stack = h.view("HostRemoteView").children.at(0).children.at(0);
  ASSERT_EQ(stack.children.size(), 5u);  // status row, three awards, no answer
  std::vector<std::string> names;
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(stack.children[i].viewType, "AwardControl");
    names.push_back(stack.children[i].texts().at(0));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"النمور", "الصقور", "الذئاب"}));
  EXPECT_EQ(stack.children[4].viewType, "NoAnswerControl");
  EXPECT_EQ(h.tree().findView("RevealControl"), nullptr);

  // The team id is the only thing the awards share; the two t2 controls award t2 each.
  h.session.setReachable(true);
  h.tree().findButton("الذئاب")->tap();
  h.tree().findButton("النمور")->tap();
  ASSERT_EQ(h.session.sentMessages().size(), 2u);
  EXPECT_EQ(h.session.sentMessages()[0].at("teamId"), ContextValue("t2"));
  EXPECT_EQ(h.session.sentMessages()[1].at("teamId"), ContextValue("t2"));

  // No teams: only the no-answer control.
  state.teams = {};
  h.show(state);
  EXPECT_EQ(h.tree().findAll(ElementKind::button).size(), 1u);
  EXPECT_NE(h.tree().findButton("محد جاوب"), nullptr);
}

TEST(HostRemoteView, OneMinuteHapticSequence) {
  ScreenHarness h;
  h.show(question(kStart - 50.9));  // shown at 50.9 s open; ticks land at .9
  EXPECT_EQ(clock(h), "0:50");
  h.loop.advance(9.0);  // tick at 59.9 s
  EXPECT_EQ(clock(h), "0:59");
  EXPECT_EQ(clockColor(h), Color::primary());
  EXPECT_TRUE(h.haptics.played().empty());
  h.loop.advance(1.0);  // tick at 60.9 s
  EXPECT_EQ(clock(h), "1:00");
  EXPECT_EQ(h.haptics.played(), std::vector<HapticType>{HapticType::notification});
  EXPECT_EQ(clockColor(h), Color::red());
  EXPECT_EQ(symbolColor(h), Color::red());

  h.loop.advance(30.0);
  EXPECT_EQ(clock(h), "1:30");
  EXPECT_EQ(h.haptics.played().size(), 1u) << "more ticks past a minute tap again";

  // The host app repeats the same opening moment: no reset.
  GameState same = question(kStart - 50.9);
  same.questionPoints = 30;
  h.show(same);
  h.loop.advance(5.0);
  EXPECT_EQ(h.haptics.played().size(), 1u);

  // A new question buzzes again at its own minute, and only then.
  const double opened = h.loop.now().timeIntervalSince1970;
  h.show(question(opened));
  h.loop.advance(1.0);
  EXPECT_EQ(clock(h), "0:01");
  EXPECT_EQ(clockColor(h), Color::primary());
  h.loop.advance(58.0);
  EXPECT_EQ(h.haptics.played().size(), 1u);
  h.loop.advance(1.0);
  EXPECT_EQ(clock(h), "1:00");
  EXPECT_EQ(h.haptics.played().size(), 2u);
  EXPECT_EQ(h.haptics.played()[1], HapticType::notification);
}

// A tick can fall due right after the block that publishes a snapshot. The screen must be
// brought up to date before the tick is handled, or the tick judges a question the screen has
// not taken in yet.
TEST(HostRemoteView, ATickRightAfterANewQuestionArrivesBuzzesOnceForIt) {
  ScreenHarness h;
  h.show(question(kStart - 10));
  h.loop.advance(1.0);  // 11 s open
  ASSERT_TRUE(h.haptics.played().empty());

  // The next question was opened two minutes ago; the tick falls due before anything else runs.
  h.publishOnly(question(kStart - 119));
  ASSERT_TRUE(h.loop.fireNextTimer());
  h.loop.drain();
  EXPECT_EQ(clock(h), "2:01");
  h.loop.advance(3.0);
  EXPECT_EQ(h.haptics.played(), std::vector<HapticType>{HapticType::notification})
      << "one question, one haptic";
}

TEST(HostRemoteView, TheScoreboardArrivingJustBeforeTheMinuteTakesTheTickAway) {
  ScreenHarness h;
  GameState state = question(kStart - 59);
  h.show(state);  // ticks fall at 60.0 s, 61.0 s, ...
  h.loop.advance(0.5);
  // The host app's scoreboard snapshot still carries the question's opening moment.
  state.screen = "board";
  h.publishOnly(state);    // at 59.5 s
  h.loop.fireNextTimer();  // the tick due at 60.0 s, if it is still there
  h.loop.drain();
  EXPECT_EQ(h.screen(), "ScoresView");
  EXPECT_EQ(h.loop.timerCount(), 0u);
  h.loop.advance(5.0);
  EXPECT_TRUE(h.haptics.played().empty());
}

TEST(HostRemoteView, ExactlyOneMinuteBuzzesAtThatTick) {
  ScreenHarness h;
  h.show(question(kStart - 59));
  h.loop.advance(1.0);  // exactly 60.0 s
  EXPECT_EQ(clock(h), "1:00");
  EXPECT_EQ(h.haptics.played().size(), 1u);
}

TEST(HostRemoteView, AlreadyPastAMinuteIsRedAtOnceAndBuzzesAtTheFirstTick) {
  ScreenHarness h;
  h.show(question(kStart - 3600));
  EXPECT_EQ(clock(h), "60:00");
  EXPECT_EQ(clockColor(h), Color::red());
  EXPECT_TRUE(h.haptics.played().empty());
  h.loop.advance(1.0);
  EXPECT_EQ(h.haptics.played().size(), 1u);
}

TEST(HostRemoteView, TheClockKeepsRunningInTheAnswerPhase) {
  ScreenHarness h;
  GameState state = question(kStart);
  h.show(state);
  h.loop.advance(10.0);
  state.screen = "answer";
  h.show(state);
  h.loop.advance(55.0);
  EXPECT_EQ(clock(h), "1:05");
  EXPECT_EQ(h.haptics.played().size(), 1u);  // the minute came in the answer phase
}

TEST(HostRemoteView, UnknownOrFutureOpeningMomentsShowZeroAndNeverBuzz) {
  for (double openedAt : {0.0, -0.0, -100.0, std::nan(""), kStart + 5}) {
    ScreenHarness h;
    h.show(question(openedAt));
    h.loop.advance(4.0);
    EXPECT_EQ(clock(h), "0:00") << openedAt;
    EXPECT_EQ(clockColor(h), Color::primary()) << openedAt;
    EXPECT_EQ(symbolColor(h), accentGold()) << openedAt;
    h.loop.advance(120.0);
    if (openedAt == kStart + 5) {
      EXPECT_EQ(clock(h), "1:59");  // the watch's clock passed it
      EXPECT_EQ(h.haptics.played().size(), 1u);
    } else {
      EXPECT_EQ(clock(h), "0:00") << openedAt;
      EXPECT_TRUE(h.haptics.played().empty()) << openedAt;
    }
  }
}

TEST(HostRemoteView, ANaNOpeningMomentCausesNoEvaluationLoop) {
  ScreenHarness h;
  // Buzz first, so the change action has something to reset.
  h.show(question(kStart - 60));
  h.loop.advance(1.0);
  ASSERT_EQ(h.haptics.played().size(), 1u);

  h.store.state = question(std::nan(""));
  // NaN differs from itself at every evaluation; the queue must still run dry.
  int steps = 0;
  while (h.loop.step() && steps < 100) ++steps;
  EXPECT_LT(steps, 10);
  EXPECT_EQ(h.loop.pending(), 0u);
  EXPECT_FALSE(h.graph.isEvaluationQueued());

  // Ticks keep re-evaluating without piling up work, and never buzz.
  const std::size_t before = h.graph.stats().evaluations;
  h.loop.advance(10.0);
  EXPECT_EQ(h.loop.pending(), 0u);
  EXPECT_LE(h.graph.stats().evaluations - before, 20u);
  EXPECT_EQ(clock(h), "0:00");
  EXPECT_EQ(h.haptics.played().size(), 1u);

  // A real question afterwards buzzes again at its minute: buzzed was reset.
  h.show(question(h.loop.now().timeIntervalSince1970 - 59));
  h.loop.advance(1.0);
  EXPECT_EQ(h.haptics.played().size(), 2u);
}

// If re-evaluation restarted the one-second timer, snapshots arriving faster than once a second
// would keep pushing the next tick away: the clock would freeze and the minute never come.
TEST(HostRemoteView, SnapshotsEvery100MillisecondsDoNotStopTheTicks) {
  ScreenHarness h;
  GameState state = question(kStart);
  h.show(state);
  for (int i = 1; i <= 700; ++i) {  // 70 s
    h.loop.advance(0.1);
    state.questionPoints = i;  // a new snapshot each time, same question
    h.show(state);
    EXPECT_EQ(h.loop.timerCount(), 1u);
  }
  EXPECT_EQ(clock(h), "1:10");
  EXPECT_EQ(h.haptics.played().size(), 1u);
}

}  // namespace
}  // namespace dunvel
