#pragma once

#include <chrono>
#include <functional>

#include "observation/Cancellable.h"

namespace dunvel {

// Timers on the main run loop, measured on a monotonic clock. Main thread only.
class TimerScheduler {
 public:
  virtual ~TimerScheduler() = default;
  // Calls fire on the main thread every interval, first one interval from now, until the
  // returned handle is cancelled or destroyed.
  [[nodiscard]] virtual Cancellable scheduleRepeating(std::chrono::nanoseconds interval,
                                                      std::function<void()> fire) = 0;
  // Calls fire once on the main thread, delay from now, unless the returned handle is cancelled
  // or destroyed first. A delay that is not positive fires at the loop's next turn.
  [[nodiscard]] virtual Cancellable scheduleOnce(std::chrono::nanoseconds delay,
                                                 std::function<void()> fire) = 0;
  // Calls prepare on the main thread each time a timer has fallen due, just before it fires,
  // until the returned handle is cancelled or destroyed: for work that must be finished before
  // time moves on, such as bringing what is shown up to date with the changes that blocks
  // announced. A timer that prepare cancels does not fire.
  [[nodiscard]] virtual Cancellable beforeTimers(std::function<void()> prepare) = 0;
};

}  // namespace dunvel
