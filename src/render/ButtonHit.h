#pragma once

#include "render/Geometry.h"
#include "views/toolkit/Element.h"

namespace dunvel {

// A button where a tap reaches it: its frame as far as it is visible.
struct ButtonHit {
  const Element* element = nullptr;
  Rect visible;
};

}  // namespace dunvel
