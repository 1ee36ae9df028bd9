// What a frame costs: the rows of bench/Rows.h (each example screen, its bare Pango/Cairo floor,
// the clock's tick), a step of the crown over the longest board, and a frame drawn with nothing
// shaped yet.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <deque>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Rows.h"
#include "app/ScreenPreview.h"
#include "render/DesignSystem.h"
#include "render/FaceRenderer.h"
#include "render/Owned.h"
#include "state/ContextDecoding.h"
#include "state/SnapshotJson.h"

namespace dunvel {
namespace {

constexpr double kNow = 1765136742.0;
const char* const kScreens[] = {"idle", "question", "answer", "board", "tournament"};

GameState example(const std::string& name) {
  std::ifstream file(std::string(DUNVEL_SOURCE_DIR) + "/examples/" + name + ".json");
  std::stringstream text;
  text << file.rdbuf();
  return decodeGameState(readSnapshotJson(text.str()).dictionary);
}

// The rows the instruction-count gate also counts (bench/Rows.h): full frames, their bare
// Pango/Cairo floors, and the clock's tick.
const bool registered = [] {
  for (const bench::BenchRow& row : bench::renderRows()) {
    auto* timed = benchmark::RegisterBenchmark(row.name.c_str(), [row](benchmark::State& state) {
      const std::function<void()> step = row.prepare();
      for (auto _ : state) step();
      if (!row.label.empty()) state.SetLabel(row.label);
    });
    if (row.maxSteps > 0) timed->Iterations(row.maxSteps);
  }
  return true;
}();

// A step of the crown over the longest board a snapshot allows (95 305 teams): the boxes
// placed again at the next line's offset and the frame painted, in part (0) or whole (1).
void BM_ScrollStepLongBoard(benchmark::State& state) {
  std::string json = R"({"screen":"board","teams":[)";
  for (int i = 0; i < 95305; ++i) json += i == 0 ? R"({"id":""})" : R"(,{"id":""})";
  json += "]}";
  const ScreenPreview preview(decodeGameState(readSnapshotJson(json).dictionary),
                              HostReach::reachable, Date{kNow});
  const Element* view = preview.tree().findAll(ElementKind::scrollView).at(0);
  FaceRenderer renderer(FaceSize::mm45);
  renderer.layout(preview.tree());
  renderer.paint();
  const auto repaint =
      state.range(0) == 0 ? FaceRenderer::Repaint::changed : FaceRenderer::Repaint::whole;
  double offset = 0.0;
  for (auto _ : state) {
    offset = offset > 24.0 * 1000 ? 0.0 : offset + 24.0;
    renderer.scroll({{view->identity, offset}});
    if (state.range(0) < 2) benchmark::DoNotOptimize(renderer.paint({}, repaint));
  }
  state.SetLabel(state.range(0) == 0 ? "in part" : state.range(0) == 1 ? "whole" : "placed only");
}
BENCHMARK(BM_ScrollStepLongBoard)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A screen drawn for the first time: every text shaped.
void BM_ColdFrame(benchmark::State& state) {
  const ScreenPreview preview(example(kScreens[state.range(0)]), HostReach::reachable, Date{kNow});
  for (auto _ : state) {
    state.PauseTiming();
    auto renderer = std::make_unique<FaceRenderer>(FaceSize::mm45);
    state.ResumeTiming();
    renderer->layout(preview.tree());
    benchmark::DoNotOptimize(renderer->paint());
    state.PauseTiming();
    renderer.reset();
    state.ResumeTiming();
  }
  state.SetLabel(kScreens[state.range(0)]);
}
BENCHMARK(BM_ColdFrame)->DenseRange(0, 4);

// The answer screen laid out and painted whole on each case at its own text size (the order of
// kAllFaceSizes, 40mm to 49mm-3), one row a case.
void BM_FullFrameOnEachCase(benchmark::State& state) {
  const FaceSize size = kAllFaceSizes.at(static_cast<std::size_t>(state.range(0)));
  const ScreenPreview preview(example("answer"), HostReach::reachable, Date{kNow});
  FaceRenderer renderer(size);
  renderer.layout(preview.tree());
  for (auto _ : state) {
    renderer.layout(preview.tree(), {}, FaceRenderer::Relayout::whole);
    benchmark::DoNotOptimize(renderer.paint({}, FaceRenderer::Repaint::whole));
  }
  state.SetLabel(std::string(faceSizeName(size)));
}
BENCHMARK(BM_FullFrameOnEachCase)->DenseRange(0, static_cast<int>(kAllFaceSizes.size()) - 1);

}  // namespace
}  // namespace dunvel
namespace dunvel {
namespace {
void BM_XTickLayoutOnly(benchmark::State& state) {
  constexpr int kTicks = 2000;
  const GameState question = example("question");
  std::deque<ScreenPreview> ticks;
  for (int i = 0; i < kTicks; ++i)
    ticks.emplace_back(question, HostReach::reachable, Date{kNow + (state.range(0) ? 0 : i)});
  FaceRenderer renderer(FaceSize::mm45);
  renderer.layout(ticks[0].tree());
  std::size_t next = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(&renderer.layout(ticks[next++].tree()));
  }
}
BENCHMARK(BM_XTickLayoutOnly)->Iterations(1999)->Arg(0)->Arg(1);
}  // namespace
}  // namespace dunvel
