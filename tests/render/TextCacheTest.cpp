#include <cairo.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "render/FaceRenderer.h"
#include "render/Owned.h"
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

// The clock's figures are laid out from glyphs shaped once per font and size, not shaped each
// second: what they are laid out as and the pixels they paint must be Pango's own. The layout
// a figure keeps holds its text unshaped; asked here, Pango shapes it, and the two must agree
// glyph for glyph, in every extent, and pixel for pixel when painted at a place that is not
// whole pixels (at 2 pixels a point, through a translation, as the painter paints parts).
TEST(TextCache, AClockFigureLaidOutFromItsGlyphsIsWhatPangoShapesAndPaints) {
  std::vector<std::string> texts;
  for (int seconds = 0; seconds < 600; seconds += 7) {
    texts.push_back(std::to_string(seconds / 60) + ":" + std::to_string(seconds % 60 / 10) +
                    std::to_string(seconds % 10));
  }
  for (const char* text : {"10:00", "59:59", "60:00", "1234567:08", "0", "42", "100"}) {
    texts.emplace_back(text);
  }
  struct Font {
    TextStyle style;
    bool bold;
  };
  // The clock's, the board's points' and the award control's.
  const Font fonts[] = {
      {TextStyle::title3, true}, {TextStyle::body, true}, {TextStyle::footnote, false}};
  const Owned<cairo_surface_t> ours(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 320, 120));
  const Owned<cairo_surface_t> pangos(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 320, 120));
  TextEngine engine;
  for (const Font& font : fonts) {
    for (const TextSize size :
         {TextSize::xSmall, TextSize::large, TextSize::xLarge, TextSize::ax3}) {
      for (const LayoutDirection direction :
           {LayoutDirection::rightToLeft, LayoutDirection::leftToRight}) {
        for (const std::string& text : texts) {
          SCOPED_TRACE(text + " " + std::string(textSizeName(size)) + " style " +
                       std::to_string(static_cast<int>(font.style)));
          TextRequest request;
          request.text = text;
          request.style = font.style;
          request.bold = font.bold;
          request.textSize = size;
          request.monospacedDigit = true;
          request.lineLimit = 1;
          request.direction = direction;
          const ShapedText& shaped = engine.shape(request);
          ASSERT_NE(shaped.glyphs, nullptr);
          PangoLayout* layout = shaped.layout;
          PangoRectangle ink{};
          PangoRectangle logical{};
          pango_layout_get_extents(layout, &ink, &logical);
          EXPECT_EQ(shaped.size.width, static_cast<double>(logical.width) / PANGO_SCALE);
          EXPECT_EQ(shaped.size.height, static_cast<double>(logical.height) / PANGO_SCALE);
          EXPECT_EQ(shaped.origin.x, static_cast<double>(logical.x) / PANGO_SCALE);
          EXPECT_EQ(shaped.origin.y, static_cast<double>(logical.y) / PANGO_SCALE);
          EXPECT_EQ(shaped.ink.x, static_cast<double>(ink.x) / PANGO_SCALE);
          EXPECT_EQ(shaped.ink.y, static_cast<double>(ink.y) / PANGO_SCALE);
          EXPECT_EQ(shaped.ink.width, static_cast<double>(ink.width) / PANGO_SCALE);
          EXPECT_EQ(shaped.ink.height, static_cast<double>(ink.height) / PANGO_SCALE);
          EXPECT_EQ(shaped.lines, pango_layout_get_line_count(layout));
          EXPECT_FALSE(shaped.truncated);

          const PangoLayoutLine* line = pango_layout_get_line_readonly(layout, 0);
          ASSERT_EQ(g_slist_length(line->runs), 1u);
          const PangoGlyphString* pango =
              static_cast<const PangoGlyphItem*>(line->runs->data)->glyphs;
          ASSERT_EQ(pango->num_glyphs, shaped.glyphs->num_glyphs);
          for (int i = 0; i < pango->num_glyphs; ++i) {
            EXPECT_EQ(shaped.glyphs->glyphs[i].glyph, pango->glyphs[i].glyph);
            EXPECT_EQ(shaped.glyphs->glyphs[i].geometry.width, pango->glyphs[i].geometry.width);
            EXPECT_EQ(shaped.glyphs->glyphs[i].geometry.x_offset,
                      pango->glyphs[i].geometry.x_offset);
            EXPECT_EQ(shaped.glyphs->glyphs[i].geometry.y_offset,
                      pango->glyphs[i].geometry.y_offset + pango_layout_get_baseline(layout));
          }

          for (cairo_surface_t* surface : {ours.get(), pangos.get()}) {
            const Owned<cairo_t> cr(cairo_create(surface));
            cairo_set_operator(cr.get(), CAIRO_OPERATOR_CLEAR);
            cairo_paint(cr.get());
            cairo_set_operator(cr.get(), CAIRO_OPERATOR_OVER);
            cairo_translate(cr.get(), -3.0, 5.0);
            cairo_scale(cr.get(), 2.0, 2.0);
            cairo_set_source_rgb(cr.get(), 1.0, 0.7, 0.2);
            cairo_move_to(cr.get(), 10.3125 - shaped.origin.x, 7.71 - shaped.origin.y);
            if (surface == ours.get()) {
              showShapedText(cr.get(), shaped);
            } else {
              pango_cairo_show_layout(cr.get(), layout);
            }
          }
          cairo_surface_flush(ours.get());
          cairo_surface_flush(pangos.get());
          const std::size_t bytes =
              static_cast<std::size_t>(cairo_image_surface_get_stride(ours.get())) * 120;
          EXPECT_EQ(std::memcmp(cairo_image_surface_get_data(ours.get()),
                                cairo_image_surface_get_data(pangos.get()), bytes),
                    0);
        }
      }
    }
  }

  // A text of other characters, or one offered a width to wrap in, is Pango's.
  TextRequest letters;
  letters.text = "1:0a";
  letters.monospacedDigit = true;
  EXPECT_EQ(engine.shape(letters).glyphs, nullptr);
  TextRequest untabular;
  untabular.text = "1:05";
  EXPECT_EQ(engine.shape(untabular).glyphs, nullptr);
  TextRequest colonFirst;
  colonFirst.text = ":05";
  colonFirst.monospacedDigit = true;
  EXPECT_EQ(engine.shape(colonFirst).glyphs, nullptr);
}

}  // namespace
}  // namespace dunvel
