// Decoding against the floor of touching the snapshot once (a deep copy of its dictionary), text
// equality on its fast and slow paths, and the JSON snapshot reader against nlohmann's bare parse
// of the same bytes.
#include <benchmark/benchmark.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "Rows.h"
#include "state/ContextDecoding.h"
#include "state/SnapshotJson.h"
#include "state/TextEquality.h"

namespace dunvel::bench {
namespace {

ContextDictionary twelveTeamSnapshot() {
  const char* names[] = {"الصقور", "النمور",  "النجوم", "الأسود",  "الفرسان", "البرق",
                         "الرعد",  "العقبان", "الشهب",  "الأمواج", "الجبال",  "الرياح"};
  ContextArray teams;
  for (int i = 0; i < 12; ++i) {
    teams.push_back(ContextDictionary{{"id", "team-" + std::to_string(i + 1)},
                                      {"name", std::string("فريق ") + names[i]},
                                      {"points", 10 * i - 15}});
  }
  return ContextDictionary{{"screen", "answer"},
                           {"gameName", "ليلة الأسئلة الكبرى"},
                           {"teams", std::move(teams)},
                           {"turnTeamId", "team-3"},
                           {"questionPoints", 20},
                           {"questionMode", "سؤال سرعة"},
                           {"questionOpenedAt", 1765136700.25},
                           {"tournament", ContextDictionary{{"name", "كأس الحي"},
                                                            {"roundLabel", "نصف النهائي"},
                                                            {"teamA", "الصقور"},
                                                            {"teamB", "النمور"},
                                                            {"status", "المباراة جارية"}}}};
}

std::function<void()> copyDictionary() {
  auto snapshot = std::make_shared<const ContextDictionary>(twelveTeamSnapshot());
  return [snapshot] {
    ContextDictionary copy = *snapshot;
    benchmark::DoNotOptimize(copy);
  };
}

std::function<void()> decode() {
  auto snapshot = std::make_shared<const ContextDictionary>(twelveTeamSnapshot());
  return [snapshot] {
    GameState decoded = decodeGameState(*snapshot);
    benchmark::DoNotOptimize(decoded);
  };
}

// Two texts compared over and over: a and b are copied into the step, each its own buffer.
std::function<void()> textEquals(std::string a, std::string b) {
  return
      [a = std::move(a), b = std::move(b)] { benchmark::DoNotOptimize(dunvel::textEquals(a, b)); };
}

std::function<void()> identicalTexts() {
  // Two separate buffers with the same bytes: the byte comparison, no normalisation.
  const std::string a = "فريق الصقور الذهبية من الحي القديم";
  return textEquals(a, a);
}

std::function<void()> precomposedAndDecomposed() {
  const std::string precomposed =
      "Caf\xC3\xA9 de la R\xC3\xA9publique, \xC3\xA9quipe \xC3\xA9toile";
  const std::string decomposed =
      "Cafe\xCC\x81 de la Re\xCC\x81publique, e\xCC\x81quipe e\xCC\x81toile";
  if (!dunvel::textEquals(precomposed, decomposed)) {
    throw std::runtime_error("texts should be equivalent");
  }
  return textEquals(precomposed, decomposed);
}

std::function<void()> differentArabicTexts() {
  // Different well-formed non-ASCII texts: the path every changed team name takes.
  return textEquals("فريق الصقور الذهبية من الحي القديم", "فريق النمور الذهبية من الحي القديم");
}

std::shared_ptr<const std::string> snapshotJson() {
  return std::make_shared<const std::string>(writeContextJson(twelveTeamSnapshot()));
}

std::function<void()> readJson() {
  return [json = snapshotJson()] {
    JsonReadResult read = readSnapshotJson(*json);
    benchmark::DoNotOptimize(read);
  };
}

std::function<void()> nlohmannParse() {
  return [json = snapshotJson()] {
    nlohmann::json parsed = nlohmann::json::parse(*json);
    benchmark::DoNotOptimize(parsed);
  };
}

}  // namespace

std::vector<BenchRow> stateRows() {
  // A step here is a few microseconds: the gate counts more of them than of frames.
  constexpr int kSteps = 100;
  return {
      {"BM_CopyDictionary", "", copyDictionary, 0, kSteps},
      {"BM_DecodeGameState", "", decode, 0, kSteps},
      {"BM_TextEqualsIdentical", "", identicalTexts, 0, kSteps},
      {"BM_TextEqualsPrecomposedVsDecomposed", "", precomposedAndDecomposed, 0, kSteps},
      {"BM_TextEqualsArabicDifferent", "", differentArabicTexts, 0, kSteps},
      {"BM_ReadSnapshotJson", "", readJson, 0, kSteps},
      {"BM_NlohmannParse", "", nlohmannParse, 0, kSteps},
  };
}

}  // namespace dunvel::bench
