#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "render/Owned.h"

namespace dunvel {

// How an image drawn now differs from its reference, pixel by pixel.
struct ImageDifference {
  // Pixels whose red, green, blue or alpha differs from the reference's by more than the
  // tolerance; where the sizes differ, every pixel outside the area both cover counts too.
  std::int64_t differingPixels = 0;
  bool sizesDiffer = false;
  // When asked for and something differs: the reference dimmed to a grey shadow, with each
  // differing pixel marked over it in bright magenta, as big as the larger of the two images.
  Owned<cairo_surface_t> diff;
};

enum class DiffImage { none, whenDifferent };

// Compares two image surfaces of any Cairo image format, as premultiplied ARGB. tolerance is the
// largest channel difference (0 to 255) a pixel may have and still count as equal.
ImageDifference compareImages(cairo_surface_t* reference, cairo_surface_t* actual, int tolerance,
                              DiffImage diffImage);

// Reads a PNG through Cairo. Null, with problem set to one line naming path, when it cannot.
Owned<cairo_surface_t> readPng(const std::string& path, std::string& problem);

// The width and height a PNG's header declares, read before any pixel is, so that a small file
// declaring a huge image is turned away undecoded. Nothing when bytes do not open with a PNG
// signature and a well-formed header chunk.
struct PngSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool operator==(const PngSize&) const = default;
};
std::optional<PngSize> pngSize(std::string_view bytes);

// Decodes a PNG held in memory through Cairo. Null, with problem set to one line saying why,
// when it cannot.
Owned<cairo_surface_t> decodePng(std::string_view bytes, std::string& problem);

}  // namespace dunvel
