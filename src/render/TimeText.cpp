#include "render/TimeText.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace dunvel {

std::string timeText(double secondsSince1970, TimeZone zone) {
  // About ±290 million years: far inside what time_t and the calendar take.
  constexpr double kLimit = 9e15;
  if (!std::isfinite(secondsSince1970) || std::abs(secondsSince1970) > kLimit) return {};
  const auto moment = static_cast<std::time_t>(std::floor(secondsSince1970));
  std::tm day{};
  const bool told = zone == TimeZone::utc ? gmtime_r(&moment, &day) != nullptr
                                          : localtime_r(&moment, &day) != nullptr;
  if (!told) return {};
  const int hour = day.tm_hour % 12 == 0 ? 12 : day.tm_hour % 12;
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d", hour, day.tm_min);
  return text;
}

}  // namespace dunvel
