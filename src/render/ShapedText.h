#pragma once

#include <cstdint>

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
  // Where its glyphs' ink lies, in the layout's own coordinates (as origin): marks and
  // swashes may reach past the logical rectangle.
  Rect ink;
  int lines = 0;
  bool truncated = false;
  // Unique among the texts one engine has shaped: two frames that show the same serial show
  // the same glyphs, though an evicted text's memory may be reused by another.
  std::uint64_t serial = 0;
};

}  // namespace dunvel
