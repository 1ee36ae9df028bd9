// dunvel-png-diff EXPECTED.png ACTUAL.png: exit 0 when the two images have the same size and at
// most one pixel in a thousand differs by more than 24 levels in a channel (antialiasing may
// differ by a few levels between library builds; a changed layout or colour changes many pixels
// by much more), else 1 with one line saying how they differ. For the shell checks of
// scripts/test on what an installed tool draws.
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "render/Owned.h"

namespace {

using dunvel::Owned;
using Surface = Owned<cairo_surface_t>;

Surface load(const char* path) {
  Surface image(cairo_image_surface_create_from_png(path));
  if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "dunvel-png-diff: cannot read %s as a PNG\n", path);
    std::exit(2);
  }
  return image;
}

std::uint32_t pixel(cairo_surface_t* image, int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
  return reinterpret_cast<const std::uint32_t*>(row)[x];
}

int channelDelta(std::uint32_t a, std::uint32_t b) {
  int delta = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    delta = std::max(delta, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                     static_cast<int>((b >> shift) & 0xFF)));
  }
  return delta;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dunvel-png-diff EXPECTED.png ACTUAL.png\n");
    return 2;
  }
  const Surface expected = load(argv[1]);
  const Surface actual = load(argv[2]);
  // Both in one format, whatever each PNG held.
  Surface a(cairo_image_surface_create(CAIRO_FORMAT_ARGB32,
                                       cairo_image_surface_get_width(expected.get()),
                                       cairo_image_surface_get_height(expected.get())));
  Surface b(cairo_image_surface_create(CAIRO_FORMAT_ARGB32,
                                       cairo_image_surface_get_width(actual.get()),
                                       cairo_image_surface_get_height(actual.get())));
  for (auto [from, to] : {std::pair{expected.get(), a.get()}, std::pair{actual.get(), b.get()}}) {
    {
      const Owned<cairo_t> cr(cairo_create(to));
      cairo_set_source_surface(cr.get(), from, 0, 0);
      cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
      cairo_paint(cr.get());
    }
    cairo_surface_flush(to);
  }
  const int w = cairo_image_surface_get_width(a.get());
  const int h = cairo_image_surface_get_height(a.get());
  if (cairo_image_surface_get_width(b.get()) != w || cairo_image_surface_get_height(b.get()) != h) {
    std::fprintf(stderr, "dunvel-png-diff: %s is %dx%d, %s is %dx%d\n", argv[1], w, h, argv[2],
                 cairo_image_surface_get_width(b.get()), cairo_image_surface_get_height(b.get()));
    return 1;
  }
  int differing = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (channelDelta(pixel(a.get(), x, y), pixel(b.get(), x, y)) > 24) ++differing;
    }
  }
  if (differing > w * h / 1000) {
    std::fprintf(stderr, "dunvel-png-diff: %s and %s differ in %d of %d pixels\n", argv[1], argv[2],
                 differing, w * h);
    return 1;
  }
  return 0;
}
