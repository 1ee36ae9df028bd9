#pragma once

namespace dunvel {

// The run-loop modes a timer fires in; common keeps it firing while the user scrolls or touches the
// screen.
enum class RunLoopMode { common, defaultMode };

}  // namespace dunvel
