#pragma once

namespace dunvel {

// The weight of a font.
enum class FontWeight { regular, bold };

}  // namespace dunvel
