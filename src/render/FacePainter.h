#pragma once

#include <string>

#include "render/FaceLayout.h"

using cairo_t = struct _cairo;

namespace dunvel {

// What the window adds to a frame beyond the tree itself.
struct PaintOptions {
  // The identity of the button the pointer holds down: it shows its pressed look.
  std::string pressedButton;
};

// Paints a laid-out face with Cairo: the display's rounded outline filled black, then the tree
// clipped to it. cr's user space must be in points (scaled by the caller); the area outside the
// display's corners is left untouched.
void paintFace(cairo_t* cr, const FaceLayout& layout, const PaintOptions& options = {});

// Appends a rounded rectangle to cr's path; continuous corners are the smooth-cornered shape
// (curvature grows gradually out of the straight edge), circular ones plain quarter circles.
void roundedRectanglePath(cairo_t* cr, const Rect& rect, double radius, bool continuous);

}  // namespace dunvel
