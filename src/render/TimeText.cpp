#include "render/TimeText.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace dunvel {

std::string timeText(double secondsSince1970) {
  // About ±290 million years: far inside what time_t and the calendar take.
  constexpr double kLimit = 9e15;
  if (!std::isfinite(secondsSince1970) || std::abs(secondsSince1970) > kLimit) return {};
  const auto moment = static_cast<std::time_t>(std::floor(secondsSince1970));
  std::tm local{};
  if (localtime_r(&moment, &local) == nullptr) return {};
  const int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d", hour, local.tm_min);
  return text;
}

}  // namespace dunvel
