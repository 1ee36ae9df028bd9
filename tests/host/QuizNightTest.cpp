#include "host/QuizNight.h"

#include <gtest/gtest.h>

#include "state/ContextDecoding.h"
#include "state/GameState.h"

namespace dunvel {
namespace {

constexpr double kStart = 1765136700.0;

GameState shown(const QuizNight& night) {
  return decodeGameState(night.context());
}

std::int64_t pointsOf(const QuizNight& night, const std::string& id) {
  for (const auto& team : night.teams()) {
    if (team.id == id) return team.points;
  }
  ADD_FAILURE() << "no team " << id;
  return -1;
}

TEST(QuizNight, CommandsDriveAQuestionFromOpeningToTheScoreboard) {
  QuizNight night(kStart);
  GameState state = shown(night);
  EXPECT_EQ(state.screen, "question");
  EXPECT_EQ(state.questionOpenedAt, kStart);
  EXPECT_GT(state.questionPoints, 0);
  EXPECT_FALSE(state.questionMode.empty());
  EXPECT_EQ(state.teams.size(), 3u);
  ASSERT_TRUE(state.turnTeamId.has_value());

  // Deciding before the reveal, unknown actions and commands without an action change nothing.
  EXPECT_FALSE(night.handle({{"action", "award"}, {"teamId", "t1"}}, kStart + 1));
  EXPECT_FALSE(night.handle({{"action", "noAnswer"}}, kStart + 1));
  EXPECT_FALSE(night.handle({{"action", "dance"}}, kStart + 1));
  EXPECT_FALSE(night.handle({{"teamId", "t1"}}, kStart + 1));
  EXPECT_FALSE(night.handle({{"action", 7}}, kStart + 1));
  EXPECT_EQ(shown(night), state);

  ASSERT_TRUE(night.handle({{"action", "reveal"}}, kStart + 10));
  const GameState answer = shown(night);
  EXPECT_EQ(answer.screen, "answer");
  EXPECT_EQ(answer.questionOpenedAt, kStart) << "the clock keeps running from the opening";
  EXPECT_EQ(answer.questionPoints, state.questionPoints);
  EXPECT_FALSE(night.handle({{"action", "reveal"}}, kStart + 11)) << "revealed already";

  // An award for a team that is not playing, or without a team, is ignored.
  EXPECT_FALSE(night.handle({{"action", "award"}, {"teamId", "t9"}}, kStart + 12));
  EXPECT_FALSE(night.handle({{"action", "award"}}, kStart + 12));
  ASSERT_TRUE(night.handle({{"action", "award"}, {"teamId", "t2"}}, kStart + 12));
  EXPECT_EQ(pointsOf(night, "t2"), state.questionPoints);
  EXPECT_EQ(pointsOf(night, "t1"), 0);
  EXPECT_EQ(shown(night).screen, "board");
  EXPECT_FALSE(night.handle({{"action", "award"}, {"teamId", "t2"}}, kStart + 13))
      << "one award per question";
  EXPECT_EQ(pointsOf(night, "t2"), state.questionPoints);

  // The scoreboard stands for a while, then the next question opens, at the moment it opens.
  EXPECT_FALSE(night.advance(kStart + 12 + QuizNight::kBoardSeconds - 0.5));
  ASSERT_TRUE(night.advance(kStart + 12 + QuizNight::kBoardSeconds));
  const GameState next = shown(night);
  EXPECT_EQ(next.screen, "question");
  EXPECT_EQ(next.questionOpenedAt, kStart + 12 + QuizNight::kBoardSeconds);
  EXPECT_NE(next.turnTeamId, state.turnTeamId) << "the turn passes on";

  ASSERT_TRUE(night.handle({{"action", "reveal"}}, kStart + 30));
  ASSERT_TRUE(night.handle({{"action", "noAnswer"}}, kStart + 31));
  EXPECT_EQ(shown(night).screen, "board");
  EXPECT_EQ(pointsOf(night, "t2"), state.questionPoints) << "nobody scored";

  // Without autoplay nothing happens on its own while a question is open.
  ASSERT_TRUE(night.advance(kStart + 31 + QuizNight::kBoardSeconds));
  EXPECT_FALSE(night.advance(kStart + 10000));
  EXPECT_EQ(shown(night).screen, "question");
}

TEST(QuizNight, RoundsEndWithATournamentGlanceAndTheNightEndsIdle) {
  double now = kStart;
  QuizNight night(now);
  std::vector<std::string> screens;
  auto record = [&] { screens.push_back(shown(night).screen); };
  for (std::size_t round = 0; round < QuizNight::kRounds; ++round) {
    for (std::size_t question = 0; question < night.questionsPerRound(); ++question) {
      EXPECT_EQ(night.round(), round);
      EXPECT_EQ(night.question(), question);
      record();
      ASSERT_TRUE(night.handle({{"action", "reveal"}}, now += 1));
      ASSERT_TRUE(night.handle({{"action", "award"}, {"teamId", "t3"}}, now += 1));
      record();
      ASSERT_TRUE(night.advance(now += QuizNight::kBoardSeconds));
    }
    if (round + 1 < QuizNight::kRounds) {
      record();
      EXPECT_EQ(night.phase(), QuizNight::Phase::tournament);
      const GameState glance = shown(night);
      ASSERT_TRUE(glance.tournament.has_value());
      EXPECT_EQ(glance.tournament->teamA(), "النجوم") << "the leading team is paired first";
      EXPECT_FALSE(night.advance(now + QuizNight::kTournamentSeconds - 1));
      ASSERT_TRUE(night.advance(now += QuizNight::kTournamentSeconds));
    }
  }
  record();
  EXPECT_EQ(night.phase(), QuizNight::Phase::finished);
  EXPECT_FALSE(night.advance(now + 1000));

  const std::vector<std::string> expected{"question", "board",      "question", "board", "question",
                                          "board",    "tournament", "question", "board", "question",
                                          "board",    "question",   "board",    "idle"};
  EXPECT_EQ(screens, expected);
  EXPECT_GT(pointsOf(night, "t3"), 0);
}

TEST(QuizNight, AutoplayRevealsAndDecidesAndLetsOneQuestionRunPastAMinute) {
  double now = kStart;
  QuizNight night(now, Autoplay::on);
  bool sawLongQuestion = false;
  int awards = 0;
  int noAnswers = 0;
  // Tick once a second through the whole night, as the demo host does (more often, in fact).
  for (int second = 0; second < 1000 && night.phase() != QuizNight::Phase::finished; ++second) {
    const QuizNight::Phase before = night.phase();
    const double openedAt = shown(night).questionOpenedAt;
    const std::int64_t total =
        pointsOf(night, "t1") + pointsOf(night, "t2") + pointsOf(night, "t3");
    if (!night.advance(now += 1)) continue;
    if (before == QuizNight::Phase::question) {
      EXPECT_EQ(night.phase(), QuizNight::Phase::answer);
      if (now - openedAt >= 60) sawLongQuestion = true;
    }
    if (before == QuizNight::Phase::answer) {
      const std::int64_t after =
          pointsOf(night, "t1") + pointsOf(night, "t2") + pointsOf(night, "t3");
      (after > total ? awards : noAnswers) += 1;
    }
  }
  EXPECT_EQ(night.phase(), QuizNight::Phase::finished) << "autoplay plays the whole night";
  EXPECT_TRUE(sawLongQuestion) << "one question stays open past the one-minute mark";
  EXPECT_GT(awards, 0);
  EXPECT_GT(noAnswers, 0);

  // Autoplay waits a few seconds for the person at the watch, whose command comes first.
  QuizNight early(kStart, Autoplay::on);
  EXPECT_FALSE(early.advance(kStart + QuizNight::kAutoplayRevealSeconds - 1));
  ASSERT_TRUE(early.handle({{"action", "reveal"}}, kStart + 1));
  ASSERT_TRUE(early.handle({{"action", "award"}, {"teamId", "t1"}}, kStart + 2));
  EXPECT_EQ(early.phase(), QuizNight::Phase::board);
}

}  // namespace
}  // namespace dunvel
