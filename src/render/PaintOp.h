#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "render/DesignSystem.h"
#include "render/Geometry.h"
#include "views/toolkit/ShapeGeometry.h"

namespace dunvel {

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

}  // namespace dunvel
