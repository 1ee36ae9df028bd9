#pragma once

#include <string_view>

using cairo_t = struct _cairo;

namespace dunvel {

class TextEngine;

// The label under a tile of a sheet of faces: one line of light grey footnote text, cut with
// "…" to the tile's width, its top at (x, y) in cr's user space.
void drawSheetLabel(cairo_t* cr, TextEngine& engine, std::string_view label, double x, double y,
                    double width);

}  // namespace dunvel
