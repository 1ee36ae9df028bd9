#include <gtest/gtest.h>

#include <cmath>

#include "state/ContextDecoding.h"
#include "state/GameState.h"

namespace dunvel {
namespace {

const std::string kPrecomposed = "Caf\xC3\xA9";  // Café, é as one code point
const std::string kDecomposed = "Cafe\xCC\x81";  // e + COMBINING ACUTE ACCENT

GameState sample() {
  GameState s;
  s.screen = "answer";
  s.gameName = "ليلة الأسئلة";
  s.teams = {TeamState("t1", "الصقور", 3), TeamState("t2", kPrecomposed, -2)};
  s.turnTeamId = "t1";
  s.questionPoints = 10;
  s.questionMode = "سرعة";
  s.questionOpenedAt = 1700000000.5;
  s.tournament = TournamentState("كأس", "الدور الأول", "الصقور", "النمور", "جارية");
  return s;
}

TEST(GameStateEquality, EveryFieldTakesPart) {
  const GameState base = sample();
  EXPECT_EQ(base, sample());
  EXPECT_FALSE(base != sample());

  std::vector<GameState> changed(10, base);
  changed[0].screen = "question";
  changed[1].gameName = "";
  changed[2].teams.pop_back();
  changed[3].teams[1] = TeamState("t2", kPrecomposed, -3);
  changed[4].turnTeamId = "t2";
  changed[5].turnTeamId.reset();
  changed[6].questionPoints = 11;
  changed[7].questionMode = "عادي";
  changed[8].questionOpenedAt = 1700000000.25;
  changed[9].tournament.reset();
  for (std::size_t i = 0; i < changed.size(); ++i) {
    EXPECT_NE(base, changed[i]) << "change " << i;
    EXPECT_NE(changed[i], base) << "change " << i;
  }
}

TEST(GameStateEquality, TeamOrderMattersAndTeamFieldsCompareInOrder) {
  GameState swapped = sample();
  std::swap(swapped.teams[0], swapped.teams[1]);
  EXPECT_NE(sample(), swapped);

  EXPECT_EQ(TeamState("a", "n", 1), TeamState("a", "n", 1));
  EXPECT_NE(TeamState("a", "n", 1), TeamState("b", "n", 1));
  EXPECT_NE(TeamState("a", "n", 1), TeamState("a", "m", 1));
  EXPECT_NE(TeamState("a", "n", 1), TeamState("a", "n", 2));
}

TEST(GameStateEquality, OptionalFields) {
  GameState a;
  GameState b;
  EXPECT_EQ(a, b);  // both absent
  a.tournament = TournamentState("", "", "", "", "");
  EXPECT_NE(a, b);  // present but empty is not absent
  b.tournament = TournamentState("", "", "", "", "");
  EXPECT_EQ(a, b);
  b.tournament = TournamentState("", "", "", "", "x");
  EXPECT_NE(a, b);

  GameState c;
  GameState d;
  c.turnTeamId = "";
  EXPECT_NE(c, d);  // an empty id is still present
  d.turnTeamId = "";
  EXPECT_EQ(c, d);
}

TEST(GameStateEquality, QuestionOpenedAtComparesAsDouble) {
  GameState nan = sample();
  nan.questionOpenedAt = std::nan("");
  const GameState copy = nan;
  EXPECT_NE(nan, copy);
  EXPECT_FALSE(nan == nan);

  GameState zero;
  GameState negativeZero;
  negativeZero.questionOpenedAt = -0.0;
  EXPECT_EQ(zero, negativeZero);
}

TEST(GameStateEquality, TextsCompareByCanonicalEquivalence) {
  GameState precomposed = sample();
  GameState decomposed = sample();
  decomposed.teams[1] = TeamState("t2", kDecomposed, -2);
  EXPECT_EQ(precomposed, decomposed);
  EXPECT_EQ(decomposed.teams[1].name(), kDecomposed);  // stored as received

  decomposed.teams[1] = TeamState("t2", "Cafe\xCC\x80", -2);  // grave, not acute
  EXPECT_NE(precomposed, decomposed);

  EXPECT_EQ(TournamentState(kDecomposed, "", "", "", ""),
            TournamentState(kPrecomposed, "", "", "", ""));
  GameState turnA;
  GameState turnB;
  turnA.turnTeamId = kPrecomposed;
  turnB.turnTeamId = kDecomposed;
  EXPECT_EQ(turnA, turnB);
}

TEST(GameStateEquality, CopiesAreIndependent) {
  GameState original = sample();
  GameState copy = original;
  copy.teams.push_back(TeamState("t3", "x", 0));
  copy.gameName = "other";
  EXPECT_EQ(original, sample());
}

}  // namespace
}  // namespace dunvel
