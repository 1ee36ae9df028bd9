// What a frame costs: each example screen laid out and painted at 45 mm, 2 pixels per point,
// against the floor of a bare Pango/Cairo paint of the same shaped texts at the same places; a
// clock tick on the question screen (one new text) against a full frame; and a frame drawn
// with nothing shaped yet.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <deque>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

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

// Layout and a whole paint with every text already shaped: what a repaint of all of a shown
// screen costs.
void BM_FullFrame(benchmark::State& state) {
  const ScreenPreview preview(example(kScreens[state.range(0)]), HostReach::reachable, Date{kNow});
  FaceRenderer renderer(FaceSize::mm45);
  renderer.layout(preview.tree());
  for (auto _ : state) {
    renderer.layout(preview.tree());
    benchmark::DoNotOptimize(renderer.paint({}, FaceRenderer::Repaint::whole));
  }
  state.SetLabel(kScreens[state.range(0)]);
}
BENCHMARK(BM_FullFrame)->DenseRange(0, 4);

void collect(const LayoutNode& node, std::vector<const LayoutNode*>& texts) {
  if (node.shaped) texts.push_back(&node);
  for (const LayoutNode* child : node.children) collect(*child, texts);
}

// The floor: the same shaped texts painted at the same places on a cleared image, nothing else.
void BM_BarePangoPaint(benchmark::State& state) {
  const ScreenPreview preview(example(kScreens[state.range(0)]), HostReach::reachable, Date{kNow});
  FaceRenderer renderer(FaceSize::mm45);
  const FaceLayout& layout = renderer.layout(preview.tree());
  std::vector<const LayoutNode*> texts;
  collect(layout.root(), texts);
  const Owned<cairo_surface_t> image(cairo_image_surface_create(
      CAIRO_FORMAT_ARGB32, renderer.pixelWidth(), renderer.pixelHeight()));
  cairo_surface_t* surface = image.get();
  for (auto _ : state) {
    {
      const Owned<cairo_t> cr(cairo_create(surface));
      cairo_set_source_rgb(cr.get(), 0, 0, 0);
      cairo_paint(cr.get());
      cairo_scale(cr.get(), 2.0, 2.0);
      for (const LayoutNode* n : texts) {
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_move_to(cr.get(), n->frame.x - n->shaped->origin.x, n->frame.y - n->shaped->origin.y);
        pango_cairo_show_layout(cr.get(), n->shaped->layout);
      }
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(surface);
  }
  state.SetLabel(kScreens[state.range(0)]);
}
BENCHMARK(BM_BarePangoPaint)->DenseRange(0, 4);

// The floor of a tick: the clock's text alone, shaped for the next second's time and painted
// with bare Pango/Cairo calls where the question screen shows it, over its own area.
void BM_BareClockPaint(benchmark::State& state) {
  const ScreenPreview preview(example("question"), HostReach::reachable, Date{kNow});
  FaceRenderer renderer(FaceSize::mm45);
  const FaceLayout& layout = renderer.layout(preview.tree());
  // The clock is the question screen's text with a colon in it.
  std::vector<const LayoutNode*> texts;
  collect(layout.root(), texts);
  const LayoutNode* clock = nullptr;
  for (const LayoutNode* n : texts) {
    const char* text = pango_layout_get_text(n->shaped->layout);
    if (std::string(text).find(':') != std::string::npos) clock = n;
  }
  if (clock == nullptr) {
    state.SkipWithError("no clock on the question screen");
    return;
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, renderer.pixelWidth(),
                                                        renderer.pixelHeight());
  PangoLayout* shaped = pango_layout_copy(clock->shaped->layout);
  int second = 0;
  for (auto _ : state) {
    // A new text each time, as each second's is: shaping is part of the tick.
    const std::string text = "0:" + std::to_string(10 + second++ % 50);
    pango_layout_set_text(shaped, text.c_str(), static_cast<int>(text.size()));
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 2.0, 2.0);
    cairo_rectangle(cr, clock->frame.x, clock->frame.y, clock->frame.width, clock->frame.height);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, clock->frame.x - clock->shaped->origin.x,
                  clock->frame.y - clock->shaped->origin.y);
    pango_cairo_show_layout(cr, shaped);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(surface);
  }
  g_object_unref(shaped);
  cairo_surface_destroy(surface);
}
BENCHMARK(BM_BareClockPaint);

// One clock tick on the question screen: the tree of the next second, whose clock text was never
// shaped, laid out and painted where it changed.
void BM_TickFrame(benchmark::State& state) {
  constexpr int kTicks = 2000;
  const GameState question = example("question");
  std::deque<ScreenPreview> ticks;
  for (int i = 0; i < kTicks; ++i)
    ticks.emplace_back(question, HostReach::reachable, Date{kNow + i});
  FaceRenderer renderer(FaceSize::mm45);
  renderer.layout(ticks[0].tree());
  std::size_t next = 1;
  for (auto _ : state) {
    renderer.layout(ticks[next++].tree());
    benchmark::DoNotOptimize(renderer.paint());
  }
}
BENCHMARK(BM_TickFrame)->Iterations(1999);

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
