#include <cairo.h>
#include <gtest/gtest.h>
#include <pango/pango.h>

#include <string>

#include "RenderedScreen.h"
#include "render/DrawingStack.h"
#include "render/Owned.h"

namespace dunvel {
namespace {

// Decodes PNG bytes through Cairo, as verify reads a reference.
Owned<cairo_surface_t> decoded(const std::string& png) {
  struct Reader {
    const std::string& bytes;
    std::size_t at = 0;
  } reader{png};
  return Owned<cairo_surface_t>(cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* data, unsigned int length) {
        auto* r = static_cast<Reader*>(closure);
        if (r->bytes.size() - r->at < length) return CAIRO_STATUS_READ_ERROR;
        r->bytes.copy(reinterpret_cast<char*>(data), length, r->at);
        r->at += length;
        return CAIRO_STATUS_SUCCESS;
      },
      &reader));
}

TEST(DrawingStack, NamesTheVersionsThisProcessDrawsWith) {
  const std::string stack = drawingStack();
  EXPECT_EQ(stack.find(std::string("cairo ") + cairo_version_string() + ", pango " +
                       pango_version_string() + ", harfbuzz "),
            0u)
      << stack;
  EXPECT_NE(stack.find(", freetype "), std::string::npos) << stack;
  EXPECT_NE(stack.find(", fontconfig "), std::string::npos) << stack;
  EXPECT_EQ(stack.find('?'), std::string::npos) << stack;
}

// A face's PNG names its stack in a text chunk a PNG reader accepts (its checksum right), with
// the same pixels; a copy of pixels drawn elsewhere names none.
TEST(DrawingStack, AFacesPngNamesItsStackAndKeepsItsPixels) {
  RenderedScreen s(exampleSnapshot("board"));
  const FaceRenderer::EncodedPng named = FaceRenderer::encodePng(s.renderer.image());
  const FaceRenderer::EncodedPng left =
      FaceRenderer::encodePng(s.renderer.image(), FaceRenderer::StackChunk::left);
  ASSERT_TRUE(named.png && left.png);
  EXPECT_EQ(pngText(*named.png, kDrawingStackKeyword), drawingStack());
  EXPECT_EQ(pngText(*left.png, kDrawingStackKeyword), std::nullopt);
  const Owned<cairo_surface_t> a = decoded(*named.png);
  const Owned<cairo_surface_t> b = decoded(*left.png);
  ASSERT_EQ(cairo_surface_status(a.get()), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_surface_status(b.get()), CAIRO_STATUS_SUCCESS);
  const int h = cairo_image_surface_get_height(a.get());
  const int stride = cairo_image_surface_get_stride(a.get());
  ASSERT_EQ(h, s.renderer.pixelHeight());
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(cairo_image_surface_get_data(a.get())),
                             static_cast<std::size_t>(stride * h)),
            std::string_view(reinterpret_cast<const char*>(cairo_image_surface_get_data(b.get())),
                             static_cast<std::size_t>(stride * h)));

  // Another keyword, a second chunk, bytes that are no PNG or are cut short: read as they are.
  const std::string both = withPngText(*named.png, "Software", "dunvel");
  EXPECT_EQ(pngText(both, "Software"), "dunvel");
  EXPECT_EQ(pngText(both, kDrawingStackKeyword), drawingStack());
  EXPECT_EQ(pngText(both, "Dunvel"), std::nullopt);
  EXPECT_EQ(withPngText("not a png", "k", "v"), "not a png");
  for (const std::size_t cut : {std::size_t{0}, std::size_t{8}, std::size_t{40}, std::size_t{60}}) {
    EXPECT_EQ(pngText(named.png->substr(0, cut), kDrawingStackKeyword), std::nullopt) << cut;
  }
  // A chunk whose length runs past the end is not followed.
  std::string lying = *named.png;
  lying[33] = '\x7F';
  EXPECT_EQ(pngText(lying, kDrawingStackKeyword), std::nullopt);
}

}  // namespace
}  // namespace dunvel
