#pragma once

namespace dunvel {

// How a horizontal stack lines up its children across its height.
enum class VerticalAlignment { top, center, bottom };

}  // namespace dunvel
