#include "render/DesignSystem.h"

namespace dunvel {

TextStyleMetrics textStyleMetrics(TextStyle style) {
  // Point sizes and weights of the watch's text styles at the default text size ("Large") of
  // the watch's human interface guidelines, type-style table. Headline is the one style that is
  // semibold by default; the others are regular. Noto Sans ships no semibold face on Debian, so
  // fontconfig draws 600 with the nearest weight it has.
  switch (style) {
    case TextStyle::title2:
      return {27.0, 400};
    case TextStyle::title3:
      return {19.0, 400};
    case TextStyle::headline:
      return {16.0, 600};
    case TextStyle::body:
      return {16.0, 400};
    case TextStyle::footnote:
      return {13.0, 400};
    case TextStyle::caption2:
      break;
  }
  return {14.0, 400};
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
