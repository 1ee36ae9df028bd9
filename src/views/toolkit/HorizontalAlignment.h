#pragma once

namespace dunvel {

// How a vertical stack lines up its children across its width; leading and trailing follow the
// layout direction.
enum class HorizontalAlignment { leading, center, trailing };

}  // namespace dunvel
