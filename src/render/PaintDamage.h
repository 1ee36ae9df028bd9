#pragma once

#include <optional>
#include <vector>

#include "render/Geometry.h"
#include "render/PaintOp.h"

namespace dunvel {

// Where two frames' drawings differ: rectangles in points outside which every pixel of the
// second frame equals the first's (empty when nothing changed); nothing when the drawings
// cannot be compared place by place (their order changed), and the whole face must be painted.
std::optional<std::vector<Rect>> damageBetween(const std::vector<PaintOp>& before,
                                               const std::vector<PaintOp>& after);

}  // namespace dunvel
