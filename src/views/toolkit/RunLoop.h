#pragma once

#include <type_traits>

#include "observation/Clock.h"
#include "observation/TimerScheduler.h"

namespace dunvel {

// A run loop as a timer publisher uses it: the timers it schedules and the clock whose reading
// each tick carries. Non-owning: both must outlive the publishers made on it.
class RunLoop {
 public:
  RunLoop(TimerScheduler& timers, const Clock& clock) : timers_(&timers), clock_(&clock) {}
  // A run loop that is its own clock (MainRunLoop with a clock, ManualRunLoop).
  template <class L>
  requires std::is_base_of_v<TimerScheduler, L> && std::is_base_of_v<Clock, L>
  explicit RunLoop(L& loop) : timers_(&loop), clock_(&loop) {}

  TimerScheduler& timers() const { return *timers_; }
  const Clock& clock() const { return *clock_; }

  friend bool operator==(const RunLoop&, const RunLoop&) = default;

 private:
  TimerScheduler* timers_;
  const Clock* clock_;
};

}  // namespace dunvel
