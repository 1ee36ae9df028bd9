#pragma once

#include <string_view>

#include "views/toolkit/Color.h"
#include "views/toolkit/TextStyle.h"

namespace dunvel {

// The watch's design system as the renderer draws it: every number that the screens leave to the
// platform lives here, with where it comes from (DesignSystem.cpp).

struct Rgba {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 1.0;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

struct TextStyleMetrics {
  double pointSize = 0.0;
  // A CSS/OpenType weight: 400 regular, 600 semibold, 700 bold.
  int weight = 400;
};

TextStyleMetrics textStyleMetrics(TextStyle style);
// The font weight of a bold text, whatever its style's own weight.
inline constexpr int kBoldWeight = 700;

// A colour as the watch shows it in its dark appearance: the named colours resolved, sRGB
// components and opacity kept.
Rgba resolveColor(const Color& color);

namespace design {

// Lengths in points.
inline constexpr double defaultPadding = 8.0;
inline constexpr double defaultStackSpacing = 8.0;
inline constexpr double defaultSpacerMinLength = 8.0;
// The gap between a label's icon and its title.
inline constexpr double labelIconSpacing = 6.0;
// The watch's default (bordered) button.
inline constexpr double buttonMinHeight = 44.0;
inline constexpr double buttonHorizontalInset = 12.0;
inline constexpr double buttonVerticalInset = 8.0;
inline constexpr double buttonCornerRadius = 12.0;
inline constexpr double buttonFillOpacity = 0.22;
inline constexpr double buttonPressedFillOpacity = 0.45;
// The scroll indicator beside the crown.
inline constexpr double scrollIndicatorWidth = 3.0;
inline constexpr double scrollIndicatorInset = 2.0;
inline constexpr double scrollIndicatorMinLength = 16.0;
// A symbol is drawn this much larger than the font size it takes, as system symbols are.
inline constexpr double symbolScale = 1.15;
inline constexpr double pixelsPerPoint = 2.0;

}  // namespace design

// The Material Icons code point standing in for a system symbol name; 0 for an unknown name.
char32_t symbolCodepoint(std::string_view systemName);

}  // namespace dunvel
