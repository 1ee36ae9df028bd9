#pragma once

#include <chrono>
#include <optional>

#include "views/toolkit/RunLoop.h"
#include "views/toolkit/RunLoopMode.h"
#include "views/toolkit/TimerPublisher.h"

namespace dunvel {

// What Timer::publish returns: a timer description that starts nothing by itself.
class ConnectableTimerPublisher {
 public:
  ConnectableTimerPublisher(std::chrono::nanoseconds interval,
                            std::optional<std::chrono::nanoseconds> tolerance, RunLoop runLoop,
                            RunLoopMode mode)
      : interval_(interval), tolerance_(tolerance), runLoop_(runLoop), mode_(mode) {}

  // A publisher whose timer runs exactly while it has subscribers.
  TimerPublisher autoconnect() const {
    return TimerPublisher(interval_, tolerance_, runLoop_, mode_);
  }

 private:
  std::chrono::nanoseconds interval_;
  std::optional<std::chrono::nanoseconds> tolerance_;
  RunLoop runLoop_;
  RunLoopMode mode_;
};

}  // namespace dunvel
