#include "FaceImage.h"

#include <cairo.h>

#include <cstdlib>

#include "render/Owned.h"

namespace dunvel::testing {

FaceImage FaceImage::readPng(const std::string& path) {
  FaceImage image;
  const Owned<cairo_surface_t> png(cairo_image_surface_create_from_png(path.c_str()));
  if (cairo_surface_status(png.get()) == CAIRO_STATUS_SUCCESS &&
      cairo_image_surface_get_format(png.get()) == CAIRO_FORMAT_ARGB32) {
    image.width = cairo_image_surface_get_width(png.get());
    image.height = cairo_image_surface_get_height(png.get());
    const int stride = cairo_image_surface_get_stride(png.get());
    const unsigned char* data = cairo_image_surface_get_data(png.get());
    // Premultiplied colours are the colours over black.
    for (int y = 0; y < image.height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
      for (int x = 0; x < image.width; ++x) image.pixels.push_back(row[x] & 0xFFFFFF);
    }
  }
  return image;
}

double differingShare(const FaceImage& shown, const FaceImage& reference, const PixelRegion& region,
                      int rowsDown) {
  if (shown.width != reference.width || shown.height != reference.height || shown.empty()) {
    return 1.0;
  }
  long differing = 0;
  long compared = 0;
  for (int y = region.top; y < region.bottom; ++y) {
    const int referenceY = y + rowsDown;
    if (y < 0 || y >= shown.height || referenceY < 0 || referenceY >= reference.height) continue;
    for (int x = region.left; x < region.right && x < shown.width; ++x) {
      const std::uint32_t a = shown.at(x, y);
      const std::uint32_t b = reference.at(x, referenceY);
      ++compared;
      for (int shift : {0, 8, 16}) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > 24) {
          ++differing;
          break;
        }
      }
    }
  }
  return compared == 0 ? 1.0 : static_cast<double>(differing) / static_cast<double>(compared);
}

double differingShare(const FaceImage& shown, const FaceImage& reference) {
  return differingShare(shown, reference, PixelRegion{0, 0, shown.width, shown.height});
}

}  // namespace dunvel::testing
