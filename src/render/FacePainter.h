#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "render/DesignSystem.h"
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

// One drawing of a frame: where in the tree it comes from, everything that decides its pixels,
// and the part of the face it may touch. Two frames that make an equal drawing at the same
// place have equal pixels there, whatever else changed.
struct PaintOp {
  enum class Kind { text, fill, indicator, haptic };
  // Where: the element's identity and the kind of its box (LayoutNode::Kind); a box that draws
  // more than once is told apart by the order of its drawings.
  std::string identity;
  int box = 0;
  // What: a text by its shaping's serial, drawn at its origin; a fill of a rectangle or shape.
  Kind kind = Kind::fill;
  Rect rect;
  Rgba color;
  std::uint64_t text = 0;
  Point origin;
  std::optional<ShapeGeometry> shape;
  // What it is drawn through: the rectangle cairo clips it to, the curved clip around it, and
  // whether it is in the pressed button's dimmed label.
  Rect clip;
  std::optional<ShapeGeometry> clipShape;
  Rect clipShapeFrame;
  int groups = 0;
  // In points: no pixel outside it changes.
  Rect bounds;

  friend bool operator==(const PaintOp&, const PaintOp&) = default;
};

// Paints a laid-out face with Cairo: the display's rounded outline filled black, then the tree
// clipped to it. cr's user space must be in points (scaled by the caller); the area outside the
// display's corners is left untouched.
// masks, when given, keeps the rasterised cards and buttons for the next frame.
// damage, when given, are the only parts of the face to paint (cr must be clipped to them):
// drawings that touch none of them are skipped, and everything else is decided as for the
// whole face, so those parts come out as a whole paint would have them.
// ops, when given, receives the drawings as paintOps lists them.
void paintFace(cairo_t* cr, const FaceLayout& layout, const PaintOptions& options = {},
               ShapeMasks* masks = nullptr, const std::vector<Rect>* damage = nullptr,
               std::vector<PaintOp>* ops = nullptr);

// The drawings paintFace makes for a layout, in order, without drawing anything.
std::vector<PaintOp> paintOps(const FaceLayout& layout, const PaintOptions& options = {});

// Where two frames' drawings differ: rectangles in points outside which every pixel of the
// second frame equals the first's (empty when nothing changed); nothing when the drawings
// cannot be compared place by place (their order changed), and the whole face must be painted.
std::optional<std::vector<Rect>> damageBetween(const std::vector<PaintOp>& before,
                                               const std::vector<PaintOp>& after);

// Appends a rounded rectangle to cr's path; continuous corners are the smooth-cornered shape
// (curvature grows gradually out of the straight edge), circular ones plain quarter circles.
void roundedRectanglePath(cairo_t* cr, const Rect& rect, double radius, RoundedCornerStyle style);
// Appends a circle (inscribed in rect) or a rounded rectangle.
void shapePath(cairo_t* cr, const ShapeGeometry& shape, const Rect& rect);

}  // namespace dunvel
