#pragma once

#include <optional>
#include <string>

#include "render/FaceLayout.h"
#include "views/toolkit/HapticType.h"

using cairo_t = struct _cairo;

namespace dunvel {

class ShapeMasks;

// What the window adds to a frame beyond the tree itself.
struct PaintOptions {
  // The identity of the button the pointer holds down: it shows its pressed look.
  std::string pressedButton;
  // The haptic whose ring shows along the display's edge, over everything else.
  std::optional<HapticType> haptic;
};

// Paints a laid-out face with Cairo: the display's rounded outline filled black, then the tree
// clipped to it. cr's user space must be in points (scaled by the caller); the area outside the
// display's corners is left untouched.
// masks, when given, keeps the rasterised cards and buttons for the next frame.
void paintFace(cairo_t* cr, const FaceLayout& layout, const PaintOptions& options = {},
               ShapeMasks* masks = nullptr);

// Appends a rounded rectangle to cr's path; continuous corners are the smooth-cornered shape
// (curvature grows gradually out of the straight edge), circular ones plain quarter circles.
void roundedRectanglePath(cairo_t* cr, const Rect& rect, double radius, RoundedCornerStyle style);
// Appends a circle (inscribed in rect) or a rounded rectangle.
void shapePath(cairo_t* cr, const ShapeGeometry& shape, const Rect& rect);

}  // namespace dunvel
