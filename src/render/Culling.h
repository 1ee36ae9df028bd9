#pragma once

#include "render/Geometry.h"

namespace dunvel {

// Glyphs may overhang their logical box a little (marks, swashes): a box this close to a clip
// may still touch a pixel inside it.
inline constexpr double kGlyphOverhang = 4.0;

// Whether a box placed at frame inside clip may show anything. The one culling rule: the layout
// places and shapes what passes it, and the painter paints what passes it, so nothing the
// painter reaches was left unplaced or unshaped by the layout.
inline bool mayShow(const Rect& frame, const Rect& clip) {
  return frame.outset(kGlyphOverhang).overlaps(clip);
}

}  // namespace dunvel
