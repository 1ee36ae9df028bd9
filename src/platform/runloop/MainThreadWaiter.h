#pragma once

#include <chrono>
#include <optional>

namespace dunvel {

// A way for the main thread to sleep that also serves events of its own, such as a window's:
// the main run loop sleeps in it when it has nothing to run, so one thread serves both without
// polling either.
class MainThreadWaiter {
 public:
  virtual ~MainThreadWaiter() = default;

  // Main thread. Sleeps until wake() is called (or was called since the last wait returned),
  // until the deadline passes (no deadline: until woken), or until its own events have been
  // served. It may return early; the loop then looks again and waits again.
  virtual void wait(std::optional<std::chrono::steady_clock::time_point> deadline) = 0;

  // Callable from any thread: makes the current wait return soon, or the next one at once.
  virtual void wake() = 0;
};

}  // namespace dunvel
