#include "render/DesignSystem.h"

#include "render/FaceSize.h"

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

FaceMetrics faceMetrics(FaceSize size) {
  // Sizes in points of the three cases' displays (41 mm 352×430 px, 45 mm 396×484 px, 49 mm
  // 410×502 px at two pixels per point). The time band and the display corners are our
  // reading of the watch's own screens: the time takes about the top seventh of the face, and
  // the display's smooth corners reach about a quarter of its width in from each edge (a
  // continuous corner of radius r bends over 1.53 r), so nothing below the time band is cut.
  switch (size) {
    case FaceSize::mm41:
      return {{176.0, 215.0}, 34.0, 27.0};
    case FaceSize::mm49:
      return {{205.0, 251.0}, 37.0, 31.0};
    case FaceSize::mm45:
      break;
  }
  return {{198.0, 242.0}, 36.0, 30.0};
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
