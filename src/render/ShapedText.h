#pragma once

#include <cstdint>

#include "render/Geometry.h"

using PangoLayout = struct _PangoLayout;
using PangoFont = struct _PangoFont;
using PangoGlyphString = struct _PangoGlyphString;
using cairo_t = struct _cairo;

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
  // A figure of the clock's characters (see TextEngine) is laid out from glyphs shaped once
  // for its font and size: its one run is these glyphs in this font, placed from the layout's
  // corner (each glyph's vertical offset is the baseline's). The layout then holds its text
  // unshaped, and Pango shapes it only if something asks the layout itself.
  PangoFont* font = nullptr;
  PangoGlyphString* glyphs = nullptr;
};

// Draws a shaped text with its layout's corner at the current point of cr, in the source's
// colour: its glyph run when it has one, else its Pango layout. The same pixels either way.
void showShapedText(cairo_t* cr, const ShapedText& text);

}  // namespace dunvel
