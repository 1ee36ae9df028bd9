#pragma once

namespace dunvel {

// Whether a scroll view shows its scroll indicators (an enum rather than a bool, so calls read).
enum class ShowsIndicators { no, yes };

}  // namespace dunvel
