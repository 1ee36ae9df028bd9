#include "views/QuestionClock.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>

namespace dunvel {

std::int64_t elapsedSeconds(Date now, double questionOpenedAt) {
  // Written as !(x > 0) so that NaN falls in the "unknown" case too.
  if (!(questionOpenedAt > 0.0)) return 0;
  const double difference = now.timeIntervalSince1970 - questionOpenedAt;
  if (std::isnan(difference) || difference <= 0.0) return 0;
  // 2^63 is exactly representable; every double below it converts without overflow.
  constexpr double kLimit = 9223372036854775808.0;
  if (difference >= kLimit) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(difference);  // truncates toward zero
}

bool overtime(std::int64_t elapsedSeconds) {
  return elapsedSeconds >= 60;
}

std::string clockText(std::int64_t elapsedSeconds) {
  if (elapsedSeconds < 0) elapsedSeconds = 0;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%" PRId64 ":%02" PRId64, elapsedSeconds / 60,
                elapsedSeconds % 60);
  return buffer;
}

}  // namespace dunvel
