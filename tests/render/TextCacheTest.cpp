#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "render/FaceRenderer.h"
#include "render/TextEngine.h"

namespace dunvel {
namespace {

// Whether asking for text now shapes it again (it had been evicted) or finds it kept.
bool shapesAgain(TextEngine& engine, const std::string& text) {
  const std::size_t before = engine.stats().shaped;
  TextRequest request;
  request.text = text;
  engine.shape(request);
  return engine.stats().shaped > before;
}

TEST(TextCache, BoundedInTextsAndBytesItDropsTheLongestUnusedFirstAndKeepsTheLastFrames) {
  {
    TextEngine engine;
    const std::size_t half = TextEngine::kMaxCachedTexts / 2;
    auto ask = [&engine](const std::string& prefix, std::size_t count) {
      std::size_t shaped = 0;
      for (std::size_t i = 0; i < count; ++i)
        shaped += shapesAgain(engine, prefix + std::to_string(i));
      return shaped;
    };
    // Frame after frame: old texts, middle-aged ones, none, then new ones past the bound.
    engine.beginFrame();
    ask("old", half);
    engine.beginFrame();
    ask("mid", half);
    engine.beginFrame();
    engine.beginFrame();
    EXPECT_EQ(ask("new", 100), 100u);
    // The next frame finds the cache 100 over: texts go, the longest unused first, down to
    // half the bound: all the old ones, then 100 of the middle-aged; the new ones stay.
    engine.beginFrame();
    EXPECT_EQ(ask("new", 100), 0u);
    EXPECT_EQ(ask("mid", half), 100u);
    EXPECT_EQ(ask("old", half), half);
  }
  {
    // More texts than the bound in one frame: while that frame is the last, none goes.
    TextEngine engine;
    engine.beginFrame();
    const std::size_t many = TextEngine::kMaxCachedTexts + 100;
    for (std::size_t i = 0; i < many; ++i) shapesAgain(engine, "t" + std::to_string(i));
    engine.beginFrame();
    std::size_t shaped = 0;
    for (std::size_t i = 0; i < many; ++i) shaped += shapesAgain(engine, "t" + std::to_string(i));
    EXPECT_EQ(shaped, 0u);
  }
  {
    // Few but long texts, one a frame: the bytes bound drops the oldest, the newest stay.
    TextEngine engine;
    const std::string body(TextEngine::kMaxWrappedBytes / 2, 'x');
    const std::size_t count = TextEngine::kMaxCachedBytes / (64 * body.size()) + 8;
    for (std::size_t i = 0; i < count; ++i) {
      engine.beginFrame();
      shapesAgain(engine, std::to_string(i) + body);
    }
    engine.beginFrame();
    EXPECT_FALSE(shapesAgain(engine, std::to_string(count - 1) + body));
    EXPECT_FALSE(shapesAgain(engine, std::to_string(count - 2) + body));
    EXPECT_TRUE(shapesAgain(engine, "0" + body));
  }
}

}  // namespace
}  // namespace dunvel

namespace dunvel {
namespace {

// A layout kept from frame to frame (a tree whose one text changes each frame) holds no text
// that the engine has let go since: not the time in the band, which stays the same, nor the
// rows of a list scrolled out of sight and back. Under the sanitizers a held text is a read of
// freed memory; without them, the frame differs from a new renderer's.
TEST(TextCache, ALayoutKeptAcrossFramesHoldsNoTextTheEngineLetGo) {
  const auto listShowing = [](int counter) {
    Element list;
    list.kind = ElementKind::vstack;
    list.identity = "list";
    Modifier font;
    font.kind = ModifierKind::font;
    font.font = Font::title3().monospacedDigit();
    for (int i = 0; i < 40; ++i) {
      Element row;
      row.kind = ElementKind::text;
      row.identity = "list/" + std::to_string(i);
      row.text = Verbatim{i == 39 ? std::to_string(counter) : "row " + std::to_string(i)};
      row.modifiers = {font};
      list.children.push_back(row);
    }
    Element scroll;
    scroll.kind = ElementKind::scrollView;
    scroll.identity = "scroll";
    scroll.children = {list};
    return scroll;
  };
  FaceRenderer renderer(FaceSize::mm45);
  renderer.setTime("10:09");
  auto tree = std::make_unique<Element>(listShowing(10000));
  renderer.layout(*tree);
  renderer.paint();
  // The first rows out of sight, then enough frames of a new counter for the engine to evict.
  const ScrollOffsets bottom{{"scroll", 1e6}};
  renderer.scroll(bottom);
  renderer.paint();
  const std::size_t whole = renderer.stats().wholeLayouts;
  for (int counter = 10001; counter < 10001 + static_cast<int>(TextEngine::kMaxCachedTexts);
       ++counter) {
    tree = std::make_unique<Element>(listShowing(counter));
    renderer.layout(*tree, bottom);
  }
  ASSERT_EQ(renderer.stats().wholeLayouts, whole)
      << "each frame was laid out anew: nothing was kept";
  renderer.scroll({});
  cairo_surface_t* kept = renderer.paint();

  FaceRenderer fresh(FaceSize::mm45);
  fresh.setTime("10:09");
  fresh.layout(*tree);
  cairo_surface_t* want = fresh.paint();
  const auto bytes = static_cast<std::size_t>(cairo_image_surface_get_stride(want)) *
                     static_cast<std::size_t>(fresh.pixelHeight());
  EXPECT_EQ(
      std::memcmp(cairo_image_surface_get_data(kept), cairo_image_surface_get_data(want), bytes),
      0);
}

}  // namespace
}  // namespace dunvel
