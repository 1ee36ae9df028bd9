#include "platform/window/ChangedRects.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace dunvel {
namespace {

// A frame of 32-bit pixels with rows padded to `stride` bytes, as a Cairo image may be.
struct Frame {
  int width;
  int height;
  int stride;
  std::vector<std::uint8_t> bytes;
  Frame(int w, int h, int s) : width(w), height(h), stride(s), bytes(std::size_t(s) * h, 0) {}
  void set(int x, int y, std::uint8_t value) { bytes[std::size_t(y) * stride + x * 4 + 1] = value; }
};

std::vector<PixelRect> between(const Frame& a, const Frame& b, int joinGap = 8) {
  return changedRects(a.bytes.data(), b.bytes.data(), a.width, a.height, a.stride, joinGap);
}

TEST(ChangedRects, CoverEveryChangedPixelJoiningNearRowsAndNothingElse) {
  const Frame blank(40, 60, 176);
  EXPECT_TRUE(between(blank, blank).empty());

  // One pixel, and the padding past the row's last pixel is never read as a change.
  Frame one = blank;
  one.set(39, 59, 7);
  one.bytes[std::size_t(10) * 176 + 170] = 9;
  EXPECT_EQ(between(blank, one), (std::vector<PixelRect>{{39, 59, 1, 1}}));

  // A clock's digits and the time band: rows 2-5 and 40-44 differ, far apart: two rectangles,
  // each the span of its own columns.
  Frame two = blank;
  two.set(30, 2, 1);
  two.set(33, 5, 1);
  two.set(4, 40, 1);
  two.set(9, 44, 1);
  EXPECT_EQ(between(blank, two), (std::vector<PixelRect>{{30, 2, 4, 4}, {4, 40, 6, 5}}));
  // Within the joining gap they are one rectangle over both.
  EXPECT_EQ(between(blank, two, 40), (std::vector<PixelRect>{{4, 2, 30, 43}}));
  // Exactly joinGap unchanged rows between two runs still join; one more does not.
  Frame gap = blank;
  gap.set(0, 10, 1);
  gap.set(0, 19, 1);
  EXPECT_EQ(between(blank, gap, 8).size(), 1u);
  EXPECT_EQ(between(blank, gap, 7).size(), 2u);
}

}  // namespace
}  // namespace dunvel
