#pragma once

#include "render/Geometry.h"

using PangoLayout = struct _PangoLayout;

namespace dunvel {

// One text shaped by Pango for one offered width. Owned by the TextEngine's cache; valid until
// the engine evicts it (never during the frame that asked for it).
struct ShapedText {
  PangoLayout* layout = nullptr;
  // The text's size in points, and where Pango's logical rectangle starts inside the layout
  // (alignment can push lines inwards when the layout has a width).
  Size size;
  Point origin;
  int lines = 0;
  bool truncated = false;
};

}  // namespace dunvel
