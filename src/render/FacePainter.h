#pragma once

#include <vector>

#include "render/FaceLayout.h"
#include "render/Geometry.h"
#include "render/PaintOp.h"
#include "render/PaintOptions.h"

using cairo_t = struct _cairo;

namespace dunvel {

class ShapeMasks;

// Paints a laid-out face with Cairo: the display's rounded outline filled black, then the tree
// clipped to it. cr's user space must be in points (scaled by the caller); the area outside the
// display's corners is left untouched.
// masks, when given, keeps the rasterised cards and buttons for the next frame.
// damage, when given, are the only parts of the face to paint (cr must be clipped to them):
// drawings that touch none of them are skipped, and everything else is decided as for the
// whole face, so those parts come out as a whole paint would have them.
// ops, when given, receives the drawings as paintOps lists them.
void paintFace(cairo_t* cr, const FaceLayout& layout, const PaintOptions& options = {},
               ShapeMasks* masks = nullptr, const std::vector<Rect>* damage = nullptr,
               std::vector<PaintOp>* ops = nullptr);

// The colour a text, symbol or shape box is painted in, wherever it stands, in sight or not.
Rgba foregroundOf(const LayoutNode& node);

// The drawings paintFace makes for a layout, in order, without drawing anything.
std::vector<PaintOp> paintOps(const FaceLayout& layout, const PaintOptions& options = {});

}  // namespace dunvel
