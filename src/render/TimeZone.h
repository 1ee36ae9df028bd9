#pragma once

namespace dunvel {

// The zone a time of day is told in: the process's own (TZ), as the watch tells the wearer, or
// UTC, the same on every machine, for images that must not depend on where they were drawn.
enum class TimeZone { local, utc };

}  // namespace dunvel
