#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "views/toolkit/RunLoop.h"
#include "views/toolkit/RunLoopMode.h"
#include "observation/Cancellable.h"
#include "observation/Date.h"

namespace dunvel {

// An auto-connecting timer publisher, made by Timer::publish(...).autoconnect(). Its one
// underlying timer starts when the first subscriber attaches and stops when the last leaves;
// each tick carries the clock's reading at that moment. Copies share the timer. Main thread only.
class TimerPublisher {
 public:
  using Output = Date;

  TimerPublisher(std::chrono::nanoseconds interval,
                 std::optional<std::chrono::nanoseconds> tolerance, RunLoop runLoop,
                 RunLoopMode mode);

  // receive(date) at each tick until the handle is cancelled or destroyed. A subscriber
  // cancelled during a tick (its own or another's) is not called afterwards.
  [[nodiscard]] Cancellable sink(std::function<void(Date)> receive) const;

  std::chrono::nanoseconds interval() const;
  std::optional<std::chrono::nanoseconds> tolerance() const;
  RunLoopMode mode() const;

  // The same stream: the same interval, tolerance, run loop and mode. A view that rebuilds its
  // publisher at every evaluation therefore keeps its subscription and its cadence.
  friend bool operator==(const TimerPublisher& a, const TimerPublisher& b);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace dunvel
