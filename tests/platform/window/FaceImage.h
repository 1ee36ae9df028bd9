#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dunvel::testing {

// An image as a window shows it: pixels 0xRRGGBB, row by row, composed over black.
struct FaceImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  bool empty() const { return pixels.empty(); }
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }

  // A PNG composed over black; empty when it cannot be read (yet).
  static FaceImage readPng(const std::string& path);
};

// Columns [left, right) and rows [top, bottom) of an image.
struct PixelRegion {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The share of the region's pixels of shown that differ from reference, read rowsDown rows
// lower, by more than a rounding's worth in some channel: 0 for what looks the same, 1 when
// the sizes differ.
double differingShare(const FaceImage& shown, const FaceImage& reference, const PixelRegion& region,
                      int rowsDown = 0);
// The same over the whole of shown, without shifting.
double differingShare(const FaceImage& shown, const FaceImage& reference);

}  // namespace dunvel::testing
