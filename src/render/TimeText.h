#pragma once

#include <string>

#include "render/TimeZone.h"

namespace dunvel {

// The time of day at a moment (seconds since 1970) as the band at the top of the face shows it,
// in the zone given (the process's, TZ, by default): hours on the 12-hour dial without a leading
// zero, and minutes, "9:41" or "10:09", the way the watch shows the time in an app. Empty for a
// moment that is not a finite number within the years the calendar can name.
std::string timeText(double secondsSince1970, TimeZone zone = TimeZone::local);

}  // namespace dunvel
