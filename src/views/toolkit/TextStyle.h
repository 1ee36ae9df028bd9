#pragma once

namespace dunvel {

// The platform's named text styles; their point sizes are the renderer's.
enum class TextStyle { title2, title3, headline, body, footnote, caption2 };

}  // namespace dunvel
