// What the real screens cost on the main thread: a snapshot arriving on the answer screen (up to
// ten a second from a busy host app) and one clock tick of the question screen (once a second).
#include <benchmark/benchmark.h>

#include <string>

#include "link/ConnectivityStore.h"
#include "link/SessionPlatform.h"
#include "platform/runloop/ManualRunLoop.h"
#include "views/ContentView.h"
#include "views/toolkit/HapticEngine.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

class NoHaptics final : public HapticEngine {
 public:
  void playHaptic(HapticType) override {}
};

struct Screens {
  Screens() : loop(Date{1'700'000'000.0}), store(platform(loop)), graph(root(), env(), loop) {
    graph.evaluate();
  }
  static SessionPlatform platform(ManualRunLoop& loop) {
    SessionPlatform p;
    p.isSupported = [] { return false; };
    p.mainQueue = &loop;
    return p;
  }
  Node root() {
    return View(ContentView{}).environmentObject(store).environment(LayoutDirection::rightToLeft);
  }
  EnvironmentValues env() {
    EnvironmentValues values;
    values.setClock(loop).setTimerScheduler(loop).setCurrentDevice(haptics);
    return values;
  }

  ManualRunLoop loop;
  NoHaptics haptics;
  ConnectivityStore store;
  ViewGraph graph;
};

GameState answer(std::int64_t teams, std::int64_t points) {
  GameState state;
  state.screen = "answer";
  state.questionPoints = points;
  state.questionMode = "اختيار من متعدد";
  state.questionOpenedAt = 1'700'000'000.0;
  for (std::int64_t i = 0; i < teams; ++i) {
    // Appended rather than concatenated: GCC 12 warns falsely (-Wrestrict) on literal + string.
    std::string id = "t";
    id += std::to_string(i);
    std::string name = "فريق رقم ";
    name += std::to_string(i);
    state.teams.emplace_back(std::move(id), std::move(name), i * 10);
  }
  return state;
}

void BM_SnapshotOnTheAnswerScreen(benchmark::State& state) {
  Screens screens;
  std::int64_t points = 0;
  for (auto _ : state) {
    screens.store.state = answer(state.range(0), ++points);
    screens.loop.drain();
    benchmark::DoNotOptimize(screens.graph.tree());
  }
}
BENCHMARK(BM_SnapshotOnTheAnswerScreen)->Arg(3)->Arg(12);

void BM_TickOnTheQuestionScreen(benchmark::State& state) {
  Screens screens;
  GameState question = answer(3, 20);
  question.screen = "question";
  screens.store.state = question;
  screens.loop.drain();
  for (auto _ : state) {
    screens.loop.advance(1.0);
    benchmark::DoNotOptimize(screens.graph.tree());
  }
}
BENCHMARK(BM_TickOnTheQuestionScreen);

}  // namespace
}  // namespace dunvel
