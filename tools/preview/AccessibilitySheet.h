#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "a11y/AccessibilityElement.h"

namespace dunvel {

class FaceRenderer;

// The face the renderer last painted with each accessibility element's frame outlined in a colour
// of its own and numbered at its leading corner, and beside the face, to its left, a legend read
// right to left: each element's number on its colour, its role and its label. Writes it as a PNG
// to path; leftOut elements past those given are counted in the legend's last row. An empty
// string on success, else one line naming the path and what went wrong.
std::string writeAccessibilitySheet(FaceRenderer& renderer,
                                    const std::vector<AccessibilityElement>& elements,
                                    std::size_t leftOut, const std::string& path);

}  // namespace dunvel
