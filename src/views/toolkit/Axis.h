#pragma once

namespace dunvel {

// The axis a scroll view scrolls along, or a stack lays out its children along.
enum class Axis { horizontal, vertical };

}  // namespace dunvel
