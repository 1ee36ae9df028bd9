#pragma once

namespace dunvel {

// The axis a scroll view scrolls along.
enum class Axis { horizontal, vertical };

}  // namespace dunvel
