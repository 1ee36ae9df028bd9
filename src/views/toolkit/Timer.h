#pragma once

#include <chrono>
#include <optional>

#include "views/toolkit/ConnectableTimerPublisher.h"
#include "views/toolkit/RunLoop.h"
#include "views/toolkit/RunLoopMode.h"

namespace dunvel {

// Timer publishers on a run loop:
//     Timer::publish(1.0s, std::nullopt, Environment::current().mainRunLoop(),
//                    RunLoopMode::common).autoconnect()
class Timer {
 public:
  // every must be finite, positive and at most 10^9 seconds; tolerance, when given, finite and
  // not negative (std::invalid_argument otherwise). The tolerance is recorded; the run loops
  // here fire on time.
  static ConnectableTimerPublisher publish(std::chrono::duration<double> every,
                                           std::optional<std::chrono::duration<double>> tolerance,
                                           RunLoop runLoop, RunLoopMode mode);
};

}  // namespace dunvel
