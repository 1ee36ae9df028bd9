#pragma once

#include <map>
#include <string>

#include "render/Geometry.h"

namespace dunvel {

// Scroll offsets in points, by the identity of the scroll view they belong to. A scroll view
// not named here shows its content from the top.
using ScrollOffsets = std::map<std::string, double>;

// A scroll view as laid out: where it shows, how tall its content is, and the offset it shows
// (clamped to the content).
struct ScrollViewLayout {
  std::string identity;
  Rect viewport;
  double contentWidth = 0.0;
  double contentHeight = 0.0;
  double offset = 0.0;
  double maxOffset() const {
    return contentHeight > viewport.height ? contentHeight - viewport.height : 0.0;
  }
};

}  // namespace dunvel
