// Decoding against the floor of touching the snapshot once (a deep copy of its dictionary), text
// equality on its fast and slow paths, and the JSON snapshot reader against nlohmann's bare parse
// of the same bytes.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <string>

#include "state/ContextDecoding.h"
#include "state/SnapshotJson.h"
#include "state/TextEquality.h"

namespace {

using namespace dunvel;

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

void BM_CopyDictionary(benchmark::State& state) {
  const ContextDictionary snapshot = twelveTeamSnapshot();
  for (auto _ : state) {
    ContextDictionary copy = snapshot;
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CopyDictionary);

void BM_DecodeGameState(benchmark::State& state) {
  const ContextDictionary snapshot = twelveTeamSnapshot();
  for (auto _ : state) {
    GameState decoded = decodeGameState(snapshot);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_DecodeGameState);

void BM_TextEqualsIdentical(benchmark::State& state) {
  // Two separate buffers with the same bytes: the byte comparison, no normalisation.
  const std::string a = "فريق الصقور الذهبية من الحي القديم";
  const std::string b = a;
  for (auto _ : state) benchmark::DoNotOptimize(textEquals(a, b));
}
BENCHMARK(BM_TextEqualsIdentical);

void BM_TextEqualsPrecomposedVsDecomposed(benchmark::State& state) {
  const std::string precomposed =
      "Caf\xC3\xA9 de la R\xC3\xA9publique, \xC3\xA9quipe \xC3\xA9toile";
  const std::string decomposed =
      "Cafe\xCC\x81 de la Re\xCC\x81publique, e\xCC\x81quipe e\xCC\x81toile";
  if (!textEquals(precomposed, decomposed)) state.SkipWithError("texts should be equivalent");
  for (auto _ : state) benchmark::DoNotOptimize(textEquals(precomposed, decomposed));
}
BENCHMARK(BM_TextEqualsPrecomposedVsDecomposed);

void BM_TextEqualsArabicDifferent(benchmark::State& state) {
  // Different well-formed non-ASCII texts: the path every changed team name takes.
  const std::string a = "فريق الصقور الذهبية من الحي القديم";
  const std::string b = "فريق النمور الذهبية من الحي القديم";
  for (auto _ : state) benchmark::DoNotOptimize(textEquals(a, b));
}
BENCHMARK(BM_TextEqualsArabicDifferent);

const std::string& snapshotJson() {
  static const std::string json = writeContextJson(twelveTeamSnapshot());
  return json;
}

void BM_ReadSnapshotJson(benchmark::State& state) {
  const std::string& json = snapshotJson();
  for (auto _ : state) {
    JsonReadResult read = readSnapshotJson(json);
    benchmark::DoNotOptimize(read);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}
BENCHMARK(BM_ReadSnapshotJson);

void BM_NlohmannParse(benchmark::State& state) {
  const std::string& json = snapshotJson();
  for (auto _ : state) {
    nlohmann::json parsed = nlohmann::json::parse(json);
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}
BENCHMARK(BM_NlohmannParse);

}  // namespace
