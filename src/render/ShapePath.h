#pragma once

#include "render/Geometry.h"
#include "views/toolkit/RoundedCornerStyle.h"
#include "views/toolkit/ShapeGeometry.h"

using cairo_t = struct _cairo;

namespace dunvel {

// How far from a rectangle's corner, in radii, its continuous rounding bends: a continuous
// corner of radius r leaves each edge r times this from the corner, and so lies outside a
// circular corner of radius r times this.
inline constexpr double kContinuousCornerExtent = 1.52866483;

// Appends a rounded rectangle to cr's path; continuous corners are the smooth-cornered shape
// (curvature grows gradually out of the straight edge), circular ones plain quarter circles.
void roundedRectanglePath(cairo_t* cr, const Rect& rect, double radius, RoundedCornerStyle style);
// Appends a circle (inscribed in rect) or a rounded rectangle.
void shapePath(cairo_t* cr, const ShapeGeometry& shape, const Rect& rect);

// A rectangle's corners, clockwise from the top right.
enum class Corner { topRight, bottomRight, bottomLeft, topLeft };
inline constexpr Corner kCorners[] = {Corner::topRight, Corner::bottomRight, Corner::bottomLeft,
                                      Corner::topLeft};

// The square of a corner of rect that its continuous rounding of radius bends within.
Rect continuousCornerBounds(const Rect& rect, double radius, Corner corner);
// Appends the piece of that square outside the rounding to cr's path.
void outsideContinuousCornerPath(cairo_t* cr, const Rect& rect, double radius, Corner corner);

}  // namespace dunvel
