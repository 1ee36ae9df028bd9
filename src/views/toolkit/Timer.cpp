#include "views/toolkit/Timer.h"

#include <cmath>
#include <stdexcept>

namespace dunvel {

namespace {

// Converts a checked number of seconds to nanoseconds; the bound keeps the conversion in range.
std::chrono::nanoseconds toNanoseconds(std::chrono::duration<double> seconds) {
  return std::chrono::nanoseconds(static_cast<std::int64_t>(std::llround(seconds.count() * 1e9)));
}

constexpr double maxSeconds = 1e9;

}  // namespace

ConnectableTimerPublisher Timer::publish(std::chrono::duration<double> every,
                                         std::optional<std::chrono::duration<double>> tolerance,
                                         RunLoop runLoop, RunLoopMode mode) {
  double interval = every.count();
  if (!std::isfinite(interval) || interval <= 0.0 || interval > maxSeconds) {
    throw std::invalid_argument(
        "Timer::publish: the interval must be a positive number of "
        "seconds up to 1e9, got " +
        std::to_string(interval));
  }
  std::optional<std::chrono::nanoseconds> toleranceNs;
  if (tolerance) {
    double t = tolerance->count();
    if (!std::isfinite(t) || t < 0.0 || t > maxSeconds) {
      throw std::invalid_argument(
          "Timer::publish: the tolerance must be a number of seconds "
          "from 0 to 1e9, got " +
          std::to_string(t));
    }
    toleranceNs = toNanoseconds(*tolerance);
  }
  auto intervalNs = toNanoseconds(every);
  // An interval below one nanosecond rounds to zero, which no scheduler accepts.
  if (intervalNs <= std::chrono::nanoseconds::zero()) intervalNs = std::chrono::nanoseconds(1);
  return ConnectableTimerPublisher(intervalNs, toleranceNs, runLoop, mode);
}

}  // namespace dunvel
