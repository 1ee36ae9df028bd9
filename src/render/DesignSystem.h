#pragma once

#include <chrono>
#include <string_view>

#include "render/TextSize.h"
#include "views/toolkit/Color.h"
#include "views/toolkit/HapticType.h"
#include "views/toolkit/TextStyle.h"

namespace dunvel {

// The watch's design system as the renderer draws it: every number that the screens leave to the
// platform lives here or in DesignSystem.cpp (text styles, colours, face sizes), with where it
// comes from.

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
  // The distance from one line's baseline to the next, in points: every line of a text in this
  // style is this tall.
  double leading = 0.0;
  friend bool operator==(const TextStyleMetrics&, const TextStyleMetrics&) = default;
};

TextStyleMetrics textStyleMetrics(TextStyle style, TextSize size);
// The font weight of an emphasised (bold()) text, whatever its style's own weight: the watch
// emphasises its text styles with the semibold face.
inline constexpr int kBoldWeight = 600;

// How a haptic shows on a face that cannot tap a wrist: a ring along the display's edge, its
// colour, width and how long it shows telling the four types apart.
struct HapticRingLook {
  Rgba color;
  double width = 0.0;  // points
  std::chrono::milliseconds length{0};
};
HapticRingLook hapticRingLook(HapticType type);

// A colour as the watch shows it in its dark appearance: the named colours resolved, sRGB
// components and opacity kept.
Rgba resolveColor(const Color& color);

namespace design {

// Lengths in points.
// The watch's 8-point layout grid: the standard margin (padding()) and the spacing between the
// children of a stack that names none, as in the platform's layout guidelines.
inline constexpr double defaultPadding = 8.0;
inline constexpr double defaultStackSpacing = 8.0;
// A spacer without a minimum length keeps the platform's standard spacing (its documentation
// of Spacer.minLength), the same 8 points.
inline constexpr double defaultSpacerMinLength = 8.0;
// A shape offered no definite length (an unbounded proposal) takes 10 points in it: the ideal
// size the platform's layout gives every shape, 10 × 10 points (what a Circle() under
// fixedSize() measures on the watch).
inline constexpr double shapeIdealLength = 10.0;
// The gap between a label's icon and its title: ours, the 6 points the screens use between a
// symbol and its text.
inline constexpr double labelIconSpacing = 6.0;
// The watch's default (bordered) button as we draw it: at least the platform's 44-point
// minimum hit target high, full width, a capsule (the shape the watch gives its inline buttons:
// ends of half the button's height) filled with its tint translucently, and a stronger fill while
// pressed. The insets are ours, read off the watch's own buttons.
inline constexpr double buttonMinHeight = 44.0;
inline constexpr double buttonHorizontalInset = 12.0;
inline constexpr double buttonVerticalInset = 8.0;
inline constexpr double buttonFillOpacity = 0.22;
inline constexpr double buttonPressedFillOpacity = 0.45;
// The scroll indicator beside the crown: ours, a thin bar at the right edge.
inline constexpr double scrollIndicatorWidth = 3.0;
inline constexpr double scrollIndicatorInset = 2.0;
inline constexpr double scrollIndicatorMinLength = 16.0;
// A system symbol is drawn a little larger than the text style it takes, as the platform's
// symbols are (ours: Material Icons glyphs sit small in their em box).
inline constexpr double symbolScale = 1.15;
// The time in the band at the top, as the watch shows it in every app: hours and minutes in
// white, semibold, at the body size of the case's default text size (it does not grow with the
// wearer's text size, so the band keeps its height). Its distance from the trailing edge is ours:
// six tenths of the display's corner radius, which keeps the figures clear of the rounded corner
// on every case.
inline constexpr double timeTrailingInsetPerCornerRadius = 0.6;

}  // namespace design

// The Material Icons code point standing in for a system symbol name; 0 for an unknown name.
char32_t symbolCodepoint(std::string_view systemName);

}  // namespace dunvel
