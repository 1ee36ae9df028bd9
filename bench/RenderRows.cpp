// What a frame costs: each example screen laid out and painted at 45 mm, 2 pixels per point,
// against the floor of a bare Pango/Cairo paint of the same shaped texts at the same places; a
// clock tick on the question screen (one new text) against a full frame and against the clock's
// text alone.
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
#include "render/FaceRenderer.h"
#include "render/Owned.h"
#include "state/ContextDecoding.h"
#include "state/SnapshotJson.h"

namespace dunvel::bench {
namespace {

constexpr double kNow = 1765136742.0;
const char* const kScreens[] = {"idle", "question", "answer", "board", "tournament"};

GameState example(const std::string& name) {
  std::ifstream file(std::string(DUNVEL_SOURCE_DIR) + "/examples/" + name + ".json");
  std::stringstream text;
  text << file.rdbuf();
  return decodeGameState(readSnapshotJson(text.str()).dictionary);
}

void collect(const LayoutNode& node, std::vector<const LayoutNode*>& texts) {
  if (node.shaped) texts.push_back(&node);
  for (const LayoutNode* child : node.children) collect(*child, texts);
}

// Layout and a whole paint with every text already shaped: what a repaint of all of a shown
// screen costs.
std::function<void()> fullFrame(const char* screen) {
  struct Fixture {
    explicit Fixture(const char* screen)
        : preview(example(screen), HostReach::reachable, Date{kNow}) {}
    ScreenPreview preview;
    FaceRenderer renderer{FaceSize::mm45};
  };
  auto f = std::make_shared<Fixture>(screen);
  f->renderer.layout(f->preview.tree());
  return [f] {
    f->renderer.layout(f->preview.tree());
    benchmark::DoNotOptimize(f->renderer.paint({}, FaceRenderer::Repaint::whole));
  };
}

// The floor: the same shaped texts painted at the same places on a cleared image, nothing else.
std::function<void()> barePangoPaint(const char* screen) {
  struct Fixture {
    explicit Fixture(const char* screen)
        : preview(example(screen), HostReach::reachable, Date{kNow}) {}
    ScreenPreview preview;
    FaceRenderer renderer{FaceSize::mm45};
    std::vector<const LayoutNode*> texts;
    Owned<cairo_surface_t> image;
  };
  auto f = std::make_shared<Fixture>(screen);
  collect(f->renderer.layout(f->preview.tree()).root(), f->texts);
  f->image.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, f->renderer.pixelWidth(),
                                            f->renderer.pixelHeight()));
  return [f] {
    cairo_surface_t* surface = f->image.get();
    {
      const Owned<cairo_t> cr(cairo_create(surface));
      cairo_set_source_rgb(cr.get(), 0, 0, 0);
      cairo_paint(cr.get());
      cairo_scale(cr.get(), 2.0, 2.0);
      for (const LayoutNode* n : f->texts) {
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_move_to(cr.get(), n->frame.x - n->shaped->origin.x, n->frame.y - n->shaped->origin.y);
        pango_cairo_show_layout(cr.get(), n->shaped->layout);
      }
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(surface);
  };
}

// The floor of a tick: the clock's text alone, shaped for the next second's time and painted
// with bare Pango/Cairo calls where the question screen shows it, over its own area.
std::function<void()> bareClockPaint() {
  struct Fixture {
    explicit Fixture(const char* screen)
        : preview(example(screen), HostReach::reachable, Date{kNow}) {}
    ScreenPreview preview;
    FaceRenderer renderer{FaceSize::mm45};
    const LayoutNode* clock = nullptr;
    Owned<cairo_surface_t> image;
    Owned<PangoLayout> shaped;
    int second = 0;
  };
  auto f = std::make_shared<Fixture>("question");
  // The clock is the question screen's text with a colon in it.
  std::vector<const LayoutNode*> texts;
  collect(f->renderer.layout(f->preview.tree()).root(), texts);
  for (const LayoutNode* n : texts) {
    if (std::string(pango_layout_get_text(n->shaped->layout)).find(':') != std::string::npos) {
      f->clock = n;
    }
  }
  if (f->clock == nullptr) throw std::runtime_error("no clock on the question screen");
  f->image.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, f->renderer.pixelWidth(),
                                            f->renderer.pixelHeight()));
  f->shaped.reset(pango_layout_copy(f->clock->shaped->layout));
  return [f] {
    // A new text each time, as each second's is: shaping is part of the tick.
    const std::string text = "0:" + std::to_string(10 + f->second++ % 50);
    pango_layout_set_text(f->shaped.get(), text.c_str(), static_cast<int>(text.size()));
    const LayoutNode& clock = *f->clock;
    cairo_surface_t* surface = f->image.get();
    {
      const Owned<cairo_t> cr(cairo_create(surface));
      cairo_scale(cr.get(), 2.0, 2.0);
      cairo_rectangle(cr.get(), clock.frame.x, clock.frame.y, clock.frame.width,
                      clock.frame.height);
      cairo_set_source_rgb(cr.get(), 0, 0, 0);
      cairo_fill(cr.get());
      cairo_set_source_rgb(cr.get(), 1, 1, 1);
      cairo_move_to(cr.get(), clock.frame.x - clock.shaped->origin.x,
                    clock.frame.y - clock.shaped->origin.y);
      pango_cairo_show_layout(cr.get(), f->shaped.get());
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(surface);
  };
}

// One clock tick on the question screen: the tree of the next second, whose clock text was never
// shaped, laid out and painted where it changed.
constexpr int kTicks = 2000;
std::function<void()> tickFrame() {
  struct Fixture {
    std::deque<ScreenPreview> ticks;
    FaceRenderer renderer{FaceSize::mm45};
    std::size_t next = 1;
  };
  auto f = std::make_shared<Fixture>();
  const GameState question = example("question");
  for (int i = 0; i < kTicks; ++i) {
    f->ticks.emplace_back(question, HostReach::reachable, Date{kNow + i});
  }
  f->renderer.layout(f->ticks[0].tree());
  return [f] {
    f->renderer.layout(f->ticks[f->next++].tree());
    benchmark::DoNotOptimize(f->renderer.paint());
  };
}

// A board of so many teams, each with its own name and points, as a host app sends it.
GameState board(int teams) {
  std::string json = R"({"screen":"board","gameName":"ليلة الأسئلة","turnTeamId":"t2","teams":[)";
  for (int i = 0; i < teams; ++i) {
    if (i > 0) json += ',';
    json += R"({"id":"t)" + std::to_string(i) + R"(","name":"فريق )" + std::to_string(i) +
            R"(","points":)" + std::to_string(i % 97) + "}";
  }
  json += "]}";
  return decodeGameState(readSnapshotJson(json).dictionary);
}

// What a board of n teams costs where only a screenful shows: a whole frame, a step of the
// crown (the boxes placed again a line further and the frame painted where it changed), and
// the turn of a minute in the band. Each should stay flat in the teams past the first screenful.
enum class BoardStep { wholeFrame, wheelStep, minuteTurn };
std::function<void()> boardRow(int teams, BoardStep kind) {
  struct Fixture {
    explicit Fixture(int teams) : preview(board(teams), HostReach::reachable, Date{kNow}) {}
    ScreenPreview preview;
    FaceRenderer renderer{FaceSize::mm45};
    std::string scrollView;
    double offset = 0.0;
    bool later = false;
  };
  auto f = std::make_shared<Fixture>(teams);
  f->scrollView = f->preview.tree().findAll(ElementKind::scrollView).at(0)->identity;
  f->renderer.setTime("7:45");
  f->renderer.layout(f->preview.tree());
  f->renderer.paint();
  switch (kind) {
    case BoardStep::wholeFrame:
      return [f] {
        f->renderer.layout(f->preview.tree());
        benchmark::DoNotOptimize(f->renderer.paint({}, FaceRenderer::Repaint::whole));
      };
    case BoardStep::wheelStep:
      return [f] {
        // Down a line at a time, and back to the top after a screenful or two.
        f->offset = f->offset > 24.0 * 20 ? 0.0 : f->offset + 24.0;
        f->renderer.scroll({{f->scrollView, f->offset}});
        benchmark::DoNotOptimize(f->renderer.paint());
      };
    case BoardStep::minuteTurn:
      break;
  }
  return [f] {
    f->later = !f->later;
    f->renderer.setTime(f->later ? "7:46" : "7:45");
    f->renderer.placeTime();
    benchmark::DoNotOptimize(f->renderer.paint());
  };
}

}  // namespace

std::vector<BenchRow> renderRows() {
  // A frame is tens of microseconds: ten of them count well past any noise of a count.
  constexpr int kSteps = 10;
  std::vector<BenchRow> rows;
  for (int i = 0; i < 5; ++i) {
    const char* screen = kScreens[i];
    rows.push_back({"BM_FullFrame/" + std::to_string(i), screen,
                    [screen] { return fullFrame(screen); }, 0, kSteps});
  }
  for (int i = 0; i < 5; ++i) {
    const char* screen = kScreens[i];
    rows.push_back({"BM_BarePangoPaint/" + std::to_string(i), screen,
                    [screen] { return barePangoPaint(screen); }, 0, kSteps});
  }
  rows.push_back({"BM_BareClockPaint", "", bareClockPaint, 0, kSteps});
  rows.push_back({"BM_TickFrame", "", tickFrame, kTicks - 1, kSteps});
  const std::pair<const char*, BoardStep> boardSteps[] = {
      {"BM_BoardWholeFrame", BoardStep::wholeFrame},
      {"BM_BoardWheelStep", BoardStep::wheelStep},
      {"BM_BoardMinuteTurn", BoardStep::minuteTurn}};
  for (const auto& [name, kind] : boardSteps) {
    for (const int teams : {10, 1000, 95305}) {
      rows.push_back(
          {std::string(name) + "/" + std::to_string(teams), std::to_string(teams) + " teams",
           [teams, kind = kind] { return boardRow(teams, kind); }, 0, teams < 10000 ? kSteps : 0});
    }
  }
  return rows;
}

}  // namespace dunvel::bench
