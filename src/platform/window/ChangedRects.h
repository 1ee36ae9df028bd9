#pragma once

#include <cstdint>
#include <vector>

namespace dunvel {

// A rectangle of a frame, in pixels.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PixelRect&) const = default;
};

// Where two frames of the same size (32-bit pixels, rows `stride` bytes apart) differ, as few
// rectangles as cover every differing pixel: each run of rows that differ gives the rectangle
// of their differing columns, and runs at most joinGap rows apart are joined into one, since a
// window system spends more on a request than on a few rows of pixels. Top to bottom; empty
// when the frames are the same. What is sent to a window is then only what it does not show.
std::vector<PixelRect> changedRects(const std::uint8_t* before, const std::uint8_t* after,
                                    int width, int height, int stride, int joinGap = 8);

}  // namespace dunvel
