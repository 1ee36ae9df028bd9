#pragma once

namespace dunvel {

// The curve of a rounded corner: circular arcs, or the smoother continuous curve.
enum class RoundedCornerStyle { circular, continuous };

}  // namespace dunvel
