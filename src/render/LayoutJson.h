#pragma once

#include <nlohmann/json.hpp>

#include "render/FaceLayout.h"

namespace dunvel {

// The element tree as elementToJson gives it, where every element also has its "frame" in
// points on the face ({"x", "y", "width", "height"}) and every text (and label) "lines" and
// "truncated".
nlohmann::json layoutToJson(const Element& tree, const FaceLayout& layout);

}  // namespace dunvel
