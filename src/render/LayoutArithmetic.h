#pragma once

// The small arithmetic the layout's passes share: lengths, insets and sizes along an axis.
#include <cmath>
#include <limits>
#include <optional>

#include "render/DesignSystem.h"
#include "render/Geometry.h"
#include "render/Side.h"
#include "views/toolkit/Axis.h"
#include "views/toolkit/LayoutDirection.h"
#include "views/toolkit/Modifier.h"

namespace dunvel::layout {

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

inline double nonNegative(double value) {
  return value > 0.0 ? value : 0.0;
}

// A length given by a modifier, if it is one: nothing for none or not a number, at least zero.
inline std::optional<double> usable(const std::optional<double>& length) {
  if (!length || std::isnan(*length)) return std::nullopt;
  return nonNegative(*length);
}

struct Insets {
  double top = 0.0;
  double left = 0.0;
  double bottom = 0.0;
  double right = 0.0;

  double& on(Side side) { return side == Side::left ? left : right; }
};

inline Insets paddingInsets(const Modifier& m, LayoutDirection direction) {
  const double amount = m.length ? nonNegative(*m.length) : design::defaultPadding;
  Insets insets;
  if (contains(m.edges, Edges::top)) insets.top = amount;
  if (contains(m.edges, Edges::bottom)) insets.bottom = amount;
  if (contains(m.edges, Edges::leading)) insets.on(leadingSide(direction)) = amount;
  if (contains(m.edges, Edges::trailing)) insets.on(trailingSide(direction)) = amount;
  return insets;
}

// A size along a stack's axis (primary) and across it (secondary).
inline double primary(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.width : size.height;
}
inline double secondary(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.height : size.width;
}
// A size from its length along axis and its thickness across it.
inline Size sizeAlong(Axis axis, double along, double across) {
  return axis == Axis::horizontal ? Size{along, across} : Size{across, along};
}

}  // namespace dunvel::layout
