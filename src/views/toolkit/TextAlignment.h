#pragma once

namespace dunvel {

// How the lines of a wrapped text line up; leading and trailing follow the layout direction.
enum class TextAlignment { leading, center, trailing };

}  // namespace dunvel
