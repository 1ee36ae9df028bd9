#pragma once

#include "views/toolkit/LayoutDirection.h"

namespace dunvel {

// A side of a box on the face. Leading and trailing edges follow the layout direction; this is
// where they stand.
enum class Side { left, right };

// The side a leading edge stands on: the right one in right-to-left layout.
constexpr Side leadingSide(LayoutDirection direction) {
  return direction == LayoutDirection::rightToLeft ? Side::right : Side::left;
}

// The side a trailing edge stands on: the left one in right-to-left layout.
constexpr Side trailingSide(LayoutDirection direction) {
  return direction == LayoutDirection::rightToLeft ? Side::left : Side::right;
}

}  // namespace dunvel
