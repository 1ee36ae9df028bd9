#pragma once

#include "views/toolkit/RoundedCornerStyle.h"

namespace dunvel {

// The outline of a shape, for a shape element or a clip: a circle, or a rounded rectangle with
// its corner radius (points) and corner style.
struct ShapeGeometry {
  enum class Kind { circle, roundedRectangle };
  Kind kind = Kind::circle;
  double cornerRadius = 0.0;
  RoundedCornerStyle style = RoundedCornerStyle::circular;
  friend bool operator==(const ShapeGeometry&, const ShapeGeometry&) = default;
};

}  // namespace dunvel
