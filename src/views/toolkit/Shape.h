#pragma once

#include "views/toolkit/Node.h"

namespace dunvel {

// A shape element that can also serve as a clip (.clipShape). It is a Node, so modifiers apply
// to it as to any element.
class Shape : public Node {
 public:
  explicit Shape(ShapeGeometry geometry);
  const ShapeGeometry& geometry() const { return geometry_; }
  // Fills the shape with color (its foreground colour).
  Node fill(Color color) const { return foregroundColor(color); }

 private:
  ShapeGeometry geometry_;
};

Shape Circle();
Shape RoundedRectangle(double cornerRadius,
                       RoundedCornerStyle style = RoundedCornerStyle::circular);

}  // namespace dunvel
