#include "platform/runloop/SystemClock.h"

#include <chrono>

namespace dunvel {

Date SystemClock::now() const {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return Date{std::chrono::duration<double>(sinceEpoch).count()};
}

}  // namespace dunvel
