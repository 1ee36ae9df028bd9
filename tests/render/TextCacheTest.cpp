#include <gtest/gtest.h>

#include <string>

#include "render/TextEngine.h"

namespace dunvel {
namespace {

// Whether asking for text now shapes it again (it had been evicted) or finds it kept.
bool shapesAgain(TextEngine& engine, const std::string& text) {
  const std::size_t before = engine.shapedCount();
  TextRequest request;
  request.text = text;
  engine.shape(request);
  return engine.shapedCount() > before;
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
