#pragma once

#include <chrono>
#include <functional>

#include "observation/Cancellable.h"

namespace dunvel {

// Repeating timers on the main run loop, measured on a monotonic clock. Main thread only.
class TimerScheduler {
 public:
  virtual ~TimerScheduler() = default;
  // Calls fire on the main thread every interval, first one interval from now, until the
  // returned handle is cancelled or destroyed.
  [[nodiscard]] virtual Cancellable scheduleRepeating(std::chrono::nanoseconds interval,
                                                      std::function<void()> fire) = 0;
};

}  // namespace dunvel
