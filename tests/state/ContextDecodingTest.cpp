#include "state/ContextDecoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dunvel {
namespace {

const std::string kTeam = "\xD9\x81\xD8\xB1\xD9\x8A\xD9\x82";  // فريق
const std::string kUnknown = "\xD8\x9F";                       // ؟

ContextValue dict(ContextDictionary d) {
  return ContextValue(std::move(d));
}
ContextValue array(ContextArray a) {
  return ContextValue(std::move(a));
}

GameState decodeOne(const std::string& key, ContextValue value) {
  return decodeGameState(ContextDictionary{{key, std::move(value)}});
}

TEST(ContextDecoding, EmptyOrUnexpectedDictionaryGivesTheDefaultSnapshot) {
  const GameState empty = decodeGameState({});
  EXPECT_EQ(empty.screen, "idle");
  EXPECT_EQ(empty.gameName, "");
  EXPECT_TRUE(empty.teams.empty());
  EXPECT_FALSE(empty.turnTeamId.has_value());
  EXPECT_EQ(empty.questionPoints, 0);
  EXPECT_EQ(empty.questionMode, "");
  EXPECT_EQ(empty.questionOpenedAt, 0.0);
  EXPECT_FALSE(empty.tournament.has_value());
  EXPECT_EQ(empty, GameState{});

  // Every key of the wrong kind, plus keys nobody reads and a key differing only in case.
  const GameState junk = decodeGameState({{"screen", 3},
                                          {"Screen", "board"},
                                          {"gameName", true},
                                          {"teams", "t1"},
                                          {"turnTeamId", 4},
                                          {"questionPoints", "5"},
                                          {"questionMode", 1.5},
                                          {"questionOpenedAt", "90"},
                                          {"tournament", array({})},
                                          {"unknown", dict({{"x", 1}})}});
  EXPECT_EQ(junk, GameState{});
}

TEST(ContextDecoding, TextFieldsTakeTextOnlyAndKeepItsBytes) {
  EXPECT_EQ(decodeOne("screen", "").screen, "");
  EXPECT_EQ(decodeOne("screen", 3).screen, "idle");
  EXPECT_EQ(decodeOne("gameName", "ليلة").gameName, "ليلة");
  EXPECT_EQ(decodeOne("questionMode", "سرعة").questionMode, "سرعة");
  EXPECT_EQ(decodeOne("turnTeamId", "t2").turnTeamId, std::optional<std::string>("t2"));
  EXPECT_EQ(decodeOne("turnTeamId", "").turnTeamId, std::optional<std::string>(""));
  EXPECT_FALSE(decodeOne("turnTeamId", 2).turnTeamId.has_value());
  // Decomposed text is compared as equivalent, but stored exactly as received.
  EXPECT_EQ(decodeOne("gameName", "e\xCC\x81").gameName, "e\xCC\x81");
}

TEST(ContextDecoding, QuestionPointsTakeIntegersOnly) {
  EXPECT_EQ(decodeOne("questionPoints", 5).questionPoints, 5);
  EXPECT_EQ(decodeOne("questionPoints", 5.0).questionPoints, 5);
  EXPECT_EQ(decodeOne("questionPoints", -3).questionPoints, -3);
  EXPECT_EQ(decodeOne("questionPoints", 5.5).questionPoints, 0);
  EXPECT_EQ(decodeOne("questionPoints", "5").questionPoints, 0);
  EXPECT_EQ(decodeOne("questionPoints", true).questionPoints, 0);
  EXPECT_EQ(decodeOne("questionPoints", std::numeric_limits<std::uint64_t>::max()).questionPoints,
            0);
  EXPECT_EQ(decodeOne("questionPoints", 1e19).questionPoints, 0);
}

TEST(ContextDecoding, QuestionOpenedAtTakesFloatingValues) {
  EXPECT_EQ(decodeOne("questionOpenedAt", 90).questionOpenedAt, 90.0);
  EXPECT_EQ(decodeOne("questionOpenedAt", 1700000000.25).questionOpenedAt, 1700000000.25);
  EXPECT_EQ(decodeOne("questionOpenedAt", -4.0).questionOpenedAt, -4.0);
  EXPECT_EQ(decodeOne("questionOpenedAt", "90").questionOpenedAt, 0.0);
  EXPECT_EQ(decodeOne("questionOpenedAt", false).questionOpenedAt, 0.0);
  EXPECT_EQ(decodeOne("questionOpenedAt", ContextDate{90.0}).questionOpenedAt, 0.0);
  EXPECT_EQ(
      decodeOne("questionOpenedAt", std::numeric_limits<std::int64_t>::max()).questionOpenedAt,
      0.0);
  EXPECT_TRUE(std::isnan(decodeOne("questionOpenedAt", std::nan("")).questionOpenedAt));
}

TEST(ContextDecoding, TeamsSkipElementsWithoutTextIdAndRejectMixedArraysWhole) {
  const GameState mixed = decodeOne("teams", array({dict({{"id", "a"}}), dict({{"name", "B"}}),
                                                    dict({{"id", 7}, {"name", "C"}})}));
  ASSERT_EQ(mixed.teams.size(), 1u);
  EXPECT_EQ(mixed.teams[0].id(), "a");
  EXPECT_EQ(mixed.teams[0].name(), kTeam);
  EXPECT_EQ(mixed.teams[0].points(), 0);

  EXPECT_TRUE(decodeOne("teams", array({dict({{"id", "a"}, {"name", "A"}, {"points", 3}}), "b"}))
                  .teams.empty());
  EXPECT_TRUE(decodeOne("teams", dict({{"id", "a"}})).teams.empty());
  EXPECT_TRUE(decodeOne("teams", array({})).teams.empty());

  // Order kept, duplicates kept, each team's fields decided on their own.
  const GameState full =
      decodeOne("teams", array({dict({{"id", "t2"}, {"name", "الصقور"}, {"points", 12.0}}),
                                dict({{"id", "t1"}, {"name", 5}, {"points", "12"}}),
                                dict({{"id", "t2"}, {"name", "النمور"}, {"points", -1}})}));
  ASSERT_EQ(full.teams.size(), 3u);
  EXPECT_EQ(full.teams[0], TeamState("t2", "الصقور", 12));
  EXPECT_EQ(full.teams[1], TeamState("t1", kTeam, 0));
  EXPECT_EQ(full.teams[2], TeamState("t2", "النمور", -1));
}

TEST(ContextDecoding, DecodeTeamNeedsTextId) {
  EXPECT_EQ(decodeTeam({{"id", ""}}), TeamState("", kTeam, 0));
  EXPECT_EQ(decodeTeam({{"name", "x"}, {"points", 3}}), std::nullopt);
  EXPECT_EQ(decodeTeam({{"id", 3}, {"name", "x"}}), std::nullopt);
  EXPECT_EQ(decodeTeam({{"id", "a"}, {"points", 2.5}}), TeamState("a", kTeam, 0));
}

TEST(ContextDecoding, TournamentPresentWheneverADictionaryIsGiven) {
  const GameState empty = decodeOne("tournament", dict({}));
  ASSERT_TRUE(empty.tournament.has_value());
  EXPECT_EQ(empty.tournament->name(), "");
  EXPECT_EQ(empty.tournament->roundLabel(), "");
  EXPECT_EQ(empty.tournament->teamA(), kUnknown);
  EXPECT_EQ(empty.tournament->teamB(), kUnknown);
  EXPECT_EQ(empty.tournament->status(), "");

  EXPECT_FALSE(decodeOne("tournament", "كأس").tournament.has_value());
  EXPECT_FALSE(decodeOne("tournament", array({dict({})})).tournament.has_value());

  const GameState full = decodeOne("tournament", dict({{"name", "كأس الحي"},
                                                       {"roundLabel", "نصف النهائي"},
                                                       {"teamA", "الصقور"},
                                                       {"teamB", 2},
                                                       {"status", "جارية"}}));
  ASSERT_TRUE(full.tournament.has_value());
  EXPECT_EQ(*full.tournament,
            TournamentState("كأس الحي", "نصف النهائي", "الصقور", kUnknown, "جارية"));
}

TEST(ContextDecoding, EachSnapshotStartsFromNothing) {
  const GameState first = decodeGameState(
      {{"screen", "board"}, {"teams", array({dict({{"id", "a"}, {"points", 4}})})}});
  ASSERT_EQ(first.teams.size(), 1u);
  const GameState second = decodeGameState({{"screen", "board"}});
  EXPECT_TRUE(second.teams.empty());
  EXPECT_NE(first, second);
}

}  // namespace
}  // namespace dunvel
