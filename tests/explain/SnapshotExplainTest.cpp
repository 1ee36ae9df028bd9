// explain is a second reading beside the decoder: each kind of finding shown by the smallest
// snapshot that has it, and the rule that holds the two readings together.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "explain/FindingText.h"
#include "explain/SnapshotExplain.h"
#include "state/ContextDecoding.h"
#include "state/ContextKinds.h"
#include "state/SnapshotJson.h"

namespace dunvel {
namespace {

using ::testing::HasSubstr;

// 2026-12-09 03:00 UTC.
constexpr double kNow = 1796785200;

ContextDictionary read(const std::string& json) {
  JsonReadResult result = readSnapshotJson(json);
  EXPECT_TRUE(result.ok()) << result.error;
  return result.dictionary;
}

std::vector<SnapshotFinding> explain(const std::string& json) {
  return explainSnapshot(read(json), kNow);
}

std::string lines(const std::vector<SnapshotFinding>& findings) {
  std::string out;
  for (const SnapshotFinding& finding : findings) out += findingLine(finding) + "\n";
  return out;
}

struct KindCase {
  const char* json;
  const char* pointer;
  const char* kind;
  const char* says;  // a part of the message: what the watch does, or the mend
};

TEST(SnapshotExplain, EachKindAtItsPointerWithWhatTheWatchDoes) {
  const KindCase cases[] = {
      {R"({"gameName": 7})", "/gameName", "wrong-kind", "send it as text: \"7\""},
      {R"({"questionPoints": "5"})", "/questionPoints", "wrong-kind", "send the number 5"},
      {R"({"questionPoints": true})", "/questionPoints", "wrong-kind", "shows 0 points"},
      {R"({"tournament": "final"})", "/tournament", "wrong-kind", "shows no tournament"},
      {R"({"tournament": {"teamA": 1}})", "/tournament/teamA", "wrong-kind", "\"\xD8\x9F\""},
      {R"({"turnTeamID": "t1"})", "/turnTeamID", "unknown-key", "did you mean \"turnTeamId\""},
      {R"({"gamename": "x"})", "/gamename", "unknown-key", "did you mean \"gameName\""},
      {R"({"teams": [{"id": "a", "nmae": "x"}]})", "/teams/0/nmae", "unknown-key",
       "did you mean \"name\""},
      {R"({"tournament": {"round": "2"}})", "/tournament/round", "unknown-key", "ignores it"},
      {R"({"a~b/c": 1})", "/a~0b~1c", "unknown-key", "ignores it"},
      {R"({"teams": [{"name": "x"}]})", "/teams/0", "dropped-team", "skips it"},
      {R"({"teams": {"id": "a"}})", "/teams", "teams-rejected", "send a list of team objects"},
      {R"({"teams": [{"id": "a"}, "b"]})", "/teams/1", "teams-rejected", "none of its 2 teams"},
      {R"({"screen": "Board"})", "/screen", "unknown-screen", "did you mean \"board\""},
      {R"({"screen": ""})", "/screen", "unknown-screen", "shows the idle screen"},
      {R"({"turnTeamId": "t9", "teams": [{"id": "t1"}]})", "/turnTeamId", "no-such-team",
       "marks no team's turn"},
      {R"({"teams": [{"id": "t1"}, {"id": "t2"}, {"id": "t1"}]})", "/teams/2", "duplicate-id",
       "also the id of /teams/0"},
      {R"({"questionOpenedAt": 1796785100000})", "/questionOpenedAt", "suspicious-time",
       "send seconds since 1970: 1796785100"},
      {R"({"screen": "answer", "questionOpenedAt": 0})", "/questionOpenedAt", "suspicious-time",
       "the clock shows 0:00"},
      {R"({"screen": "question"})", "/questionOpenedAt", "suspicious-time", "never tapped"},
      {R"({"questionOpenedAt": 90})", "/questionOpenedAt", "suspicious-time", "run over"},
      {R"({"questionPoints": 5.5})", "/questionPoints", "out-of-range", "not a whole number"},
      {R"({"teams": [{"id": "a", "points": 9223372036854775808}]})", "/teams/0/points",
       "out-of-range", "64-bit signed range"},
      {R"({"questionOpenedAt": 9007199254740993})", "/questionOpenedAt", "out-of-range",
       "no exact 64-bit floating value"},
  };
  for (const KindCase& c : cases) {
    const std::vector<SnapshotFinding> findings = explain(c.json);
    ASSERT_EQ(findings.size(), 1u) << c.json << "\n" << lines(findings);
    EXPECT_EQ(findings[0].pointer, c.pointer) << c.json;
    EXPECT_EQ(findings[0].kind, c.kind) << c.json;
    EXPECT_THAT(findings[0].message, HasSubstr(c.says)) << c.json;
  }
}

TEST(SnapshotExplain, ANewHostAppsFirstSnapshotNamesEveryMistakeAndItsMend) {
  const std::vector<SnapshotFinding> findings =
      explain(R"({"screen": "questoin", "teams": [{"id": 1, "name": "x", "points": "5"}],)"
              R"( "questionOpenedAt": "123", "turnTeamID": "t1"})");
  const std::string all = lines(findings);
  EXPECT_THAT(all, HasSubstr("/screen: unknown-screen: \"questoin\""));
  EXPECT_THAT(all, HasSubstr("did you mean \"question\""));
  EXPECT_THAT(all, HasSubstr("/teams/0: dropped-team: its \"id\" is the number 1, not text"));
  EXPECT_THAT(all, HasSubstr("send it as text: \"1\""));
  EXPECT_THAT(all, HasSubstr("/teams/0/points: wrong-kind: the text \"5\""));
  EXPECT_THAT(all, HasSubstr("/questionOpenedAt: wrong-kind: the text \"123\" is not a number"));
  EXPECT_THAT(all, HasSubstr("send the number 123, unquoted"));
  EXPECT_THAT(all, HasSubstr("/turnTeamID: unknown-key"));
  EXPECT_THAT(all, HasSubstr("did you mean \"turnTeamId\""));
  EXPECT_EQ(findings.size(), 5u) << all;
}

TEST(SnapshotExplain, AFindingIsOneLineWhateverTheSnapshotHolds) {
  const std::vector<SnapshotFinding> findings =
      explain(R"({"line\nbreak": 1, "screen": "\u001b[2J\u0007", "gameName": [)" +
              std::string(5000, ' ') + "]}");
  ASSERT_EQ(findings.size(), 3u) << lines(findings);
  for (const SnapshotFinding& finding : findings) {
    const std::string line = findingLine(finding);
    EXPECT_EQ(line.find_first_of("\n\r\x1b\x07"), std::string::npos) << line;
  }
  // A key holding ": " cannot forge the kind or the message: the pointer is quoted.
  const auto forged = explain(R"({"screen": "idle", "x: wrong-kind: fake\"": 1})");
  ASSERT_EQ(forged.size(), 1u) << lines(forged);
  EXPECT_EQ(findingLine(forged[0]).substr(0, 35), R"("/x: wrong-kind: fake\"": unknown-k)");
  // A long text is quoted cut, not whole.
  const auto longName =
      explain(R"({"gameName": 1, "screen": ")" + std::string(100000, 'x') + "\"}");
  for (const SnapshotFinding& finding : longName) EXPECT_LT(finding.message.size(), 400u);
}

TEST(SnapshotExplain, TheLogLineNamesTheFirstFewAndCountsTheRest) {
  const auto findings = explain(
      R"({"screen": "questoin", "teams": [{"id": 1}], "questionOpenedAt": "1", "turnTeamID": ""})");
  EXPECT_EQ(findingsLogLine(findings),
            "snapshot: 4 findings: /questionOpenedAt wrong-kind, /screen unknown-screen, "
            "/teams/0 dropped-team, and 1 more");
  EXPECT_EQ(findingsLogLine({findings[0]}), "snapshot: 1 finding: /questionOpenedAt wrong-kind");

  // Bounded, explain keeps the first findings in their order and counts the rest, which the log
  // line counts with them.
  const ContextDictionary snapshot = read(
      R"({"screen": "questoin", "teams": [{"id": 1}], "questionOpenedAt": "1", "turnTeamID": ""})");
  for (const std::size_t most : {0u, 2u, 4u, 9u}) {
    SCOPED_TRACE(most);
    const SnapshotExplanation bounded = explainSnapshot(snapshot, kNow, most);
    const std::size_t kept = std::min<std::size_t>(most, findings.size());
    EXPECT_EQ(lines(bounded.findings), lines({findings.begin(), findings.begin() + kept}));
    EXPECT_EQ(bounded.leftOut, findings.size() - kept);
    // The line names three: with three kept it is the line of all of them.
    if (kept >= 3) {
      EXPECT_EQ(findingsLogLine(bounded.findings, 3, bounded.leftOut), findingsLogLine(findings));
    }
  }
}

// The snapshot as it would be if every key present were taken as sent. A snapshot without
// findings must decode to exactly this; a decoder that falls back silently where explain sees
// nothing (or the other way round) breaks it.
bool decodesAsSent(const ContextDictionary& snapshot, const GameState& state) {
  const auto at = [&](const ContextDictionary& d, const char* key) -> const ContextValue* {
    const auto it = d.find(key);
    return it == d.end() ? nullptr : &it->second;
  };
  const auto textIs = [](const ContextValue* value, const std::string& text) {
    return value == nullptr || (acceptText(*value) && *acceptText(*value) == text);
  };
  if (!textIs(at(snapshot, "screen"), state.screen)) return false;
  if (!textIs(at(snapshot, "gameName"), state.gameName)) return false;
  if (!textIs(at(snapshot, "questionMode"), state.questionMode)) return false;
  if (const ContextValue* turn = at(snapshot, "turnTeamId")) {
    if (!state.turnTeamId || !textIs(turn, *state.turnTeamId)) return false;
  }
  if (const ContextValue* points = at(snapshot, "questionPoints")) {
    if (acceptInteger(*points) != state.questionPoints) return false;
  }
  if (const ContextValue* opened = at(snapshot, "questionOpenedAt")) {
    if (acceptFloating(*opened) != state.questionOpenedAt) return false;
  }
  if (const ContextValue* teams = at(snapshot, "teams")) {
    const auto* list = teams->get_if<ContextArray>();
    if (list == nullptr || list->size() != state.teams.size()) return false;
    for (std::size_t i = 0; i < list->size(); ++i) {
      const auto* team = (*list)[i].get_if<ContextDictionary>();
      if (team == nullptr || !textIs(at(*team, "id"), state.teams[i].id()) ||
          !textIs(at(*team, "name"), state.teams[i].name())) {
        return false;
      }
      const ContextValue* points = at(*team, "points");
      if (points && acceptInteger(*points) != state.teams[i].points()) return false;
    }
  }
  if (const ContextValue* tournament = at(snapshot, "tournament")) {
    const auto* fields = tournament->get_if<ContextDictionary>();
    if (fields == nullptr || !state.tournament) return false;
    if (!textIs(at(*fields, "name"), state.tournament->name()) ||
        !textIs(at(*fields, "roundLabel"), state.tournament->roundLabel()) ||
        !textIs(at(*fields, "teamA"), state.tournament->teamA()) ||
        !textIs(at(*fields, "teamB"), state.tournament->teamB()) ||
        !textIs(at(*fields, "status"), state.tournament->status())) {
      return false;
    }
  }
  return true;
}

TEST(SnapshotExplain, ASnapshotWithoutFindingsDecodesAsSentOverTheCorpusAndExamples) {
  int read = 0;
  int clean = 0;
  int unclean = 0;
  for (const char* folder : {DUNVEL_SNAPSHOT_CORPUS, DUNVEL_EXAMPLES_DIR}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      std::ifstream file(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << file.rdbuf();
      const JsonReadResult json = readSnapshotJson(bytes.str());
      if (!json.ok()) continue;
      ++read;
      const std::vector<SnapshotFinding> findings = explainSnapshot(json.dictionary, kNow);
      const bool asSent = decodesAsSent(json.dictionary, decodeGameState(json.dictionary));
      if (findings.empty()) {
        ++clean;
        EXPECT_TRUE(asSent) << entry.path() << " has no finding but does not decode as sent";
      } else if (!asSent) {
        ++unclean;
      }
    }
  }
  // The corpus holds both sides of the rule, or the test proves nothing.
  EXPECT_GE(read, 20);
  EXPECT_GE(clean, 5);
  EXPECT_GE(unclean, 6);
}

}  // namespace
}  // namespace dunvel
