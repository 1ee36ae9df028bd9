#pragma once

namespace dunvel {

// The direction of the layout: with rightToLeft the leading edge is the right edge.
enum class LayoutDirection { leftToRight, rightToLeft };

}  // namespace dunvel
