#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "link/MainQueue.h"
#include "observation/Clock.h"
#include "observation/Date.h"
#include "observation/TimerScheduler.h"

namespace dunvel {

// A main queue, timer scheduler and clock driven by hand, for tests and for tools that evaluate
// once. Time is virtual: it moves only through advance(), fireNextTimer() and setNow(). Queued
// blocks run only when step(), drain() or advance() is called, on the calling thread, which
// plays the main thread.
class ManualRunLoop final : public MainQueue, public TimerScheduler, public Clock {
 public:
  // The wall clock starts at start; virtual monotonic time starts at zero.
  explicit ManualRunLoop(Date start = Date{});
  ~ManualRunLoop() override;
  ManualRunLoop(const ManualRunLoop&) = delete;
  ManualRunLoop& operator=(const ManualRunLoop&) = delete;

  // Callable from any thread; the block runs at the next step(), drain() or advance().
  void async(std::function<void()> block) override;

  // First fire one interval of virtual time from now, then every interval. A non-positive
  // interval is a std::invalid_argument.
  [[nodiscard]] Cancellable scheduleRepeating(std::chrono::nanoseconds interval,
                                              std::function<void()> fire) override;
  // One fire, delay of virtual time from now (at once, on the next advance, for a delay that
  // is not positive).
  [[nodiscard]] Cancellable scheduleOnce(std::chrono::nanoseconds delay,
                                         std::function<void()> fire) override;
  // prepare runs before every fire, at the fire's deadline (see TimerScheduler).
  [[nodiscard]] Cancellable beforeTimers(std::function<void()> prepare) override;

  // The virtual wall clock.
  Date now() const override;

  // Runs the oldest queued block, if any; tells whether one ran.
  bool step();
  // Runs queued blocks until none is left, including blocks queued while draining; returns how
  // many ran.
  std::size_t drain();
  // Callable from any thread: blocks queued and not yet run.
  std::size_t pending() const;

  // Moves virtual time forward by seconds (finite, not negative; else std::invalid_argument).
  // Drains the queue first; then each timer that falls due fires in deadline order, at its
  // deadline exactly (now() reads the deadline during the fire), with the beforeTimers
  // observers called before and the queue drained after each fire; equal deadlines fire in the
  // order the timers were scheduled.
  void advance(double seconds);
  void advance(std::chrono::nanoseconds duration);

  // Fires one timer by hand, as the main run loop does when a timer falls due while blocks are
  // still queued: moves virtual time to the earliest deadline, calls the beforeTimers observers,
  // then fires the timer due there unless they cancelled it, leaving queued blocks unrun before
  // and after. Tells whether a timer fired; nothing happens when none is scheduled.
  bool fireNextTimer();

  // Sets the wall clock, as when the user changes the time; timers keep their monotonic
  // deadlines.
  void setNow(Date date);

  // Virtual monotonic time since construction.
  std::chrono::nanoseconds uptime() const;

  // Timers currently scheduled.
  std::size_t timerCount() const;

 private:
  // A timer first due delay from now, then every interval (zero: once).
  Cancellable schedule(std::chrono::nanoseconds delay, std::chrono::nanoseconds interval,
                       std::function<void()> fire);

  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace dunvel
