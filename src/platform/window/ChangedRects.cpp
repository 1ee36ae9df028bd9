#include "platform/window/ChangedRects.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace dunvel {

std::vector<PixelRect> changedRects(const std::uint8_t* before, const std::uint8_t* after,
                                    int width, int height, int stride, int joinGap) {
  std::vector<PixelRect> rects;
  if (width <= 0 || height <= 0) return rects;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  // The rectangle being grown, and the last row that differed in it.
  bool open = false;
  int left = 0;
  int right = 0;
  int top = 0;
  int lastRow = 0;
  for (int y = 0; y < height; ++y) {
    const std::size_t offset = static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    const std::uint8_t* a = before + offset;
    const std::uint8_t* b = after + offset;
    if (std::memcmp(a, b, rowBytes) == 0) continue;
    int first = 0;
    while (std::memcmp(a + first * 4, b + first * 4, 4) == 0) ++first;
    int last = width - 1;
    while (std::memcmp(a + last * 4, b + last * 4, 4) == 0) --last;
    if (open && y - lastRow - 1 > joinGap) {
      rects.push_back({left, top, right - left + 1, lastRow - top + 1});
      open = false;
    }
    if (!open) {
      open = true;
      left = first;
      right = last;
      top = y;
    } else {
      left = std::min(left, first);
      right = std::max(right, last);
    }
    lastRow = y;
  }
  if (open) rects.push_back({left, top, right - left + 1, lastRow - top + 1});
  return rects;
}

}  // namespace dunvel
