#include "render/FaceSize.h"

#include <algorithm>

namespace dunvel {
namespace {

struct FaceCase {
  FaceSize size;
  std::string_view name;
  FaceMetrics metrics;
};

// One row a case. Where each number comes from:
//
// Display sizes, in points at two pixels per point: the watch platform's human interface
// guidelines, Layout, "watchOS device screen dimensions" (40 mm 324×394 px, 41 mm 352×430,
// 42 mm 374×446, 44 mm 368×448, 45 mm 396×484, 46 mm 416×496, 49 mm 410×502). Earlier editions
// of the same Layout page show 40, 41, 44 and 45 mm with these figures too. The third rugged
// model's 422×514 px was first published from an image in the system's 26.0 beta
// (macrumors.com, 2025-09-09). The newer 42 and 46 mm figures rest on the guidelines' table
// alone.
//
// Time band: measured on the watch for 41 mm (34 points) and 45 mm (35); 49 mm keeps our earlier
// reading of its screens, 37. Not published for the other cases: each takes the band of the
// measured case whose display height is nearest its own, scaled by the two heights and rounded
// down to a whole point (40 mm: 34 × 197 / 215 = 31; 42 mm: 34 × 223 / 215 = 35; 44 mm:
// 34 × 224 / 215 = 35; 46 mm: 37 × 248 / 251 = 36; 49mm-3: 37 × 257 / 251 = 37). Each holds the
// time's line, set at the case's default body size.
//
// Display corners: not published. The three measured cases' continuous corners have a radius of
// 0.152 of the display's width (27 of 176, 30 of 198, 31 of 205 points); the others are read as
// the same share, rounded to a whole point (a continuous corner of radius r bends over 1.53 r, so
// it reaches about a quarter of the width in from each edge).
//
// Default text sizes: the guidelines' Typography, "watchOS Dynamic Type sizes": "Large" is the
// default of the 38, 40 and 41 mm cases, "xLarge" of 42, 44, 45 and 49 mm. The newer 42 mm case
// and 46 mm are not in that table; both read "xLarge", as the 42 mm case named there does and
// as the cases their displays match in size (42 mm is as big as 44 mm, 46 mm as 49 mm).
//
// The point sizes per text size are one table for every case (textStyleMetrics in
// DesignSystem.cpp): the guidelines give one size per text style and text size, whatever the
// case; only the default differs.
constexpr FaceCase kFaceCases[] = {
    {FaceSize::mm40, "40mm", {{162.0, 197.0}, 31.0, 25.0, TextSize::large, TextSize::large}},
    {FaceSize::mm41, "41mm", {{176.0, 215.0}, 34.0, 27.0, TextSize::large, TextSize::large}},
    {FaceSize::mm42, "42mm", {{187.0, 223.0}, 35.0, 28.0, TextSize::xLarge, TextSize::xLarge}},
    {FaceSize::mm44, "44mm", {{184.0, 224.0}, 35.0, 28.0, TextSize::xLarge, TextSize::xLarge}},
    {FaceSize::mm45, "45mm", {{198.0, 242.0}, 35.0, 30.0, TextSize::xLarge, TextSize::xLarge}},
    {FaceSize::mm46, "46mm", {{208.0, 248.0}, 36.0, 32.0, TextSize::xLarge, TextSize::xLarge}},
    {FaceSize::mm49, "49mm", {{205.0, 251.0}, 37.0, 31.0, TextSize::xLarge, TextSize::xLarge}},
    {FaceSize::mm49third,
     "49mm-3",
     {{211.0, 257.0}, 37.0, 32.0, TextSize::xLarge, TextSize::xLarge}},
};
static_assert(std::size(kFaceCases) == kAllFaceSizes.size());

constexpr bool rowsFollowTheList() {
  for (std::size_t i = 0; i < kAllFaceSizes.size(); ++i) {
    if (kFaceCases[i].size != kAllFaceSizes[i] || static_cast<std::size_t>(kAllFaceSizes[i]) != i)
      return false;
  }
  return true;
}
static_assert(rowsFollowTheList(), "one row a case, in the enum's order");

const FaceCase& row(FaceSize size) {
  return kFaceCases[static_cast<std::size_t>(size)];
}

}  // namespace

FaceMetrics faceMetrics(FaceSize size, std::optional<TextSize> textSize) {
  FaceMetrics metrics = row(size).metrics;
  if (textSize) metrics.textSize = *textSize;
  return metrics;
}

std::optional<FaceSize> parseFaceSize(std::string_view text) {
  const auto found = std::find_if(std::begin(kFaceCases), std::end(kFaceCases),
                                  [text](const FaceCase& c) { return c.name == text; });
  if (found == std::end(kFaceCases)) return std::nullopt;
  return found->size;
}

std::string_view faceSizeName(FaceSize size) {
  return row(size).name;
}

std::string faceSizeNames(std::string_view last) {
  std::string names;
  const std::size_t count = kAllFaceSizes.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) names += (i + 1 == count && last.empty()) ? " or " : ", ";
    names += faceSizeName(kAllFaceSizes[i]);
  }
  if (!last.empty()) {
    names += " or ";
    names += last;
  }
  return names;
}

}  // namespace dunvel
