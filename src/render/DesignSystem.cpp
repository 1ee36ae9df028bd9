#include "render/DesignSystem.h"

#include <iterator>

namespace dunvel {

TextStyleMetrics textStyleMetrics(TextStyle style, TextSize size) {
  // Point sizes of the watch's text styles at each text size, from the watch's human interface
  // guidelines (Typography, the watchOS Dynamic Type sizes table). Leading is the size plus 2.5
  // points, but for title2 at AX1, which the same table gives as 34 on 41. Headline is the one
  // style that is semibold; the others are regular. The table gives one size per style and text
  // size whatever the case, so every case reads the same rows; only its default text size
  // (FaceSize.cpp) differs.
  struct Row {
    double title2, title3, headline, body, caption2, footnote;
  };
  static constexpr Row kRows[] = {
      {24, 17, 14, 14, 12, 11},  // xSmall
      {26, 18, 15, 15, 13, 12},  // small
      {27, 19, 16, 16, 14, 13},  // large: the 40 and 41 mm default
      {30, 20, 17, 17, 15, 14},  // xLarge: the default of 42 mm and up
      {31, 21, 18, 18, 15, 15},  // xxLarge
      {32, 22, 19, 19, 17, 16},  // xxxLarge
      {34, 24, 21, 21, 17, 16},  // AX1
      {35, 25, 22, 22, 18, 17},  // AX2
      {36, 26, 23, 23, 19, 18},  // AX3
  };
  static_assert(std::size(kRows) == kAllTextSizes.size());
  const Row& row = kRows[static_cast<std::size_t>(size)];
  constexpr double kLeadingAboveSize = 2.5;
  auto regular = [&](double points) {
    return TextStyleMetrics{points, 400, points + kLeadingAboveSize};
  };
  switch (style) {
    case TextStyle::title2:
      if (size == TextSize::ax1) return {row.title2, 400, 41.0};
      return regular(row.title2);
    case TextStyle::title3:
      return regular(row.title3);
    case TextStyle::headline:
      return {row.headline, 600, row.headline + kLeadingAboveSize};
    case TextStyle::body:
      return regular(row.body);
    case TextStyle::footnote:
      return regular(row.footnote);
    case TextStyle::caption2:
      break;
  }
  return regular(row.caption2);
}

HapticRingLook hapticRingLook(HapticType type) {
  // Ours: the notification is the long, wide, gold one the wrist notices; success green and
  // failure red in the system's colours; a click short and thin.
  using namespace std::chrono_literals;
  switch (type) {
    case HapticType::notification:
      return {{1.0, 0.78, 0.0, 0.9}, 7.0, 600ms};
    case HapticType::success:
      return {{0.2, 0.85, 0.35, 0.9}, 5.0, 350ms};
    case HapticType::failure:
      return {{1.0, 0.23, 0.19, 0.9}, 5.0, 350ms};
    case HapticType::click:
      break;
  }
  return {{0.92, 0.92, 0.92, 0.9}, 2.5, 150ms};
}

Rgba resolveColor(const Color& color) {
  // The named colours in the dark appearance the watch always uses, from the platform's colour
  // guidelines (system colours, dark variants): label white; secondary label (235, 235, 245) at
  // 60 %; system red (255, 69, 58); system green (48, 209, 88); system gray (142, 142, 147).
  // Any opacity the screen applied multiplies the colour's own.
  auto named = [&color](double r, double g, double b, double a) {
    return Rgba{r / 255.0, g / 255.0, b / 255.0, a * color.alpha()};
  };
  switch (color.kind()) {
    case Color::Kind::primary:
      return named(255, 255, 255, 1.0);
    case Color::Kind::secondary:
      return named(235, 235, 245, 0.6);
    case Color::Kind::red:
      return named(255, 69, 58, 1.0);
    case Color::Kind::green:
      return named(48, 209, 88, 1.0);
    case Color::Kind::gray:
      return named(142, 142, 147, 1.0);
    case Color::Kind::sRGB:
      break;
  }
  return Rgba{color.redComponent(), color.greenComponent(), color.blueComponent(), color.alpha()};
}

char32_t symbolCodepoint(std::string_view systemName) {
  // System symbols have no free font; these Material Icons glyphs show the same things
  // (code points from the font's own codepoints list).
  if (systemName == "gamecontroller.fill") return 0xEA28;  // sports_esports
  if (systemName == "timer") return 0xE425;                // timer
  if (systemName == "trophy.fill") return 0xEA23;          // emoji_events
  if (systemName == "eye.fill") return 0xE8F4;             // visibility
  if (systemName == "xmark") return 0xE5CD;                // close
  return 0;
}

}  // namespace dunvel
