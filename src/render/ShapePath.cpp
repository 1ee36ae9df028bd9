// The paths of the shapes the face draws: circles, rounded rectangles with circular corners,
// and continuous corners built of three cubic curves each.
#include "render/ShapePath.h"

#include <cairo.h>

#include <algorithm>

namespace dunvel {
namespace {

constexpr double kPi = 3.14159265358979323846;
// (along, across) in radii, from where a continuous corner leaves one edge to where it meets
// the next: three cubic curves with no jump in curvature where they join the straight edges,
// the usual construction of a smooth ("continuous") corner.
constexpr double kCurve[9][2] = {
    {1.08849323, 0.0},        {0.86840689, 0.0},        {0.66993427, 0.06549600},
    {0.37282392, 0.19354179}, {0.19354179, 0.37282392}, {0.06549600, 0.66993427},
    {0.0, 0.86840701},        {0.0, 1.08849299},        {0.0, kContinuousCornerExtent},
};

// Maps (a, b) radii of q points at a corner to face coordinates: a along the edge the corner
// leaves (clockwise), b across it.
Point cornerPoint(const Rect& r, double q, Corner corner, double a, double b) {
  switch (corner) {
    case Corner::topRight:
      return {r.maxX() - a * q, r.y + b * q};
    case Corner::bottomRight:
      return {r.maxX() - b * q, r.maxY() - a * q};
    case Corner::bottomLeft:
      return {r.x + a * q, r.maxY() - b * q};
    case Corner::topLeft:
      break;
  }
  return {r.x + b * q, r.y + a * q};
}

void cornerCurve(cairo_t* cr, const Rect& r, double q, Corner corner) {
  for (int c = 0; c < 9; c += 3) {
    const Point p1 = cornerPoint(r, q, corner, kCurve[c][0], kCurve[c][1]);
    const Point p2 = cornerPoint(r, q, corner, kCurve[c + 1][0], kCurve[c + 1][1]);
    const Point p3 = cornerPoint(r, q, corner, kCurve[c + 2][0], kCurve[c + 2][1]);
    cairo_curve_to(cr, p1.x, p1.y, p2.x, p2.y, p3.x, p3.y);
  }
}

bool onRight(Corner corner) {
  return corner == Corner::topRight || corner == Corner::bottomRight;
}
bool onBottom(Corner corner) {
  return corner == Corner::bottomRight || corner == Corner::bottomLeft;
}

// The radius a continuous corner is drawn with: no more than the rectangle has room for.
double continuousRadius(const Rect& r, double radius) {
  return std::min(radius, std::min(r.width, r.height) / 2 / kContinuousCornerExtent);
}

}  // namespace

void shapePath(cairo_t* cr, const ShapeGeometry& shape, const Rect& r) {
  if (shape.kind == ShapeGeometry::Kind::circle) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.x + r.width / 2, r.y + r.height / 2, std::min(r.width, r.height) / 2, 0.0,
              2 * kPi);
    cairo_close_path(cr);
    return;
  }
  roundedRectanglePath(cr, r, shape.cornerRadius, shape.style);
}

void roundedRectanglePath(cairo_t* cr, const Rect& r, double radius, RoundedCornerStyle style) {
  if (!(radius > 0.0) || r.width <= 0.0 || r.height <= 0.0) {
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    return;
  }
  if (style != RoundedCornerStyle::continuous) {
    const double q = std::min(radius, std::min(r.width, r.height) / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - q, r.y + q, q, -kPi / 2, 0.0);
    cairo_arc(cr, r.maxX() - q, r.maxY() - q, q, 0.0, kPi / 2);
    cairo_arc(cr, r.x + q, r.maxY() - q, q, kPi / 2, kPi);
    cairo_arc(cr, r.x + q, r.y + q, q, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    return;
  }
  const double q = continuousRadius(r, radius);
  cairo_new_sub_path(cr);
  const Point start = cornerPoint(r, q, Corner::topLeft, 0.0, kContinuousCornerExtent);
  cairo_move_to(cr, start.x, start.y);
  for (const Corner corner : kCorners) {
    const Point edge = cornerPoint(r, q, corner, kContinuousCornerExtent, 0.0);
    cairo_line_to(cr, edge.x, edge.y);
    cornerCurve(cr, r, q, corner);
  }
  cairo_close_path(cr);
}

Rect continuousCornerBounds(const Rect& r, double radius, Corner corner) {
  const double extent = continuousRadius(r, radius) * kContinuousCornerExtent;
  return Rect{onRight(corner) ? r.maxX() - extent : r.x, onBottom(corner) ? r.maxY() - extent : r.y,
              extent, extent};
}

void outsideContinuousCornerPath(cairo_t* cr, const Rect& r, double radius, Corner corner) {
  const double q = continuousRadius(r, radius);
  const Point start = cornerPoint(r, q, corner, kContinuousCornerExtent, 0.0);
  cairo_move_to(cr, start.x, start.y);
  cornerCurve(cr, r, q, corner);
  cairo_line_to(cr, onRight(corner) ? r.maxX() : r.x, onBottom(corner) ? r.maxY() : r.y);
  cairo_close_path(cr);
}

}  // namespace dunvel
