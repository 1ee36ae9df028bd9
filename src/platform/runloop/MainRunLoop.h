#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "link/MainQueue.h"
#include "observation/TimerScheduler.h"

namespace dunvel {

class MainThreadWaiter;

// The process's main queue and main-thread timers. Blocks queued with async run on the thread
// that calls run(), one at a time, first in first out; timers are measured on the steady clock.
// While there is nothing to run the loop sleeps on a condition variable (or in its waiter, see
// setWaiter) until the next block arrives or the next timer falls due: it never polls.
class MainRunLoop final : public MainQueue, public TimerScheduler {
 public:
  MainRunLoop();
  ~MainRunLoop() override;
  MainRunLoop(const MainRunLoop&) = delete;
  MainRunLoop& operator=(const MainRunLoop&) = delete;

  // Callable from any thread, runs on main.
  void async(std::function<void()> block) override;

  // Main thread. The first fire comes one interval from now; later fires keep the cadence of the
  // first deadline (a late fire does not push the next one back; fires missed while the main
  // thread was busy are skipped, not caught up). Cancelling from inside any block or fire,
  // the timer's own included, is safe. A non-positive interval is a std::invalid_argument.
  [[nodiscard]] Cancellable scheduleRepeating(std::chrono::nanoseconds interval,
                                              std::function<void()> fire) override;
  // Main thread (see TimerScheduler); cancelling from inside any block or fire is safe.
  [[nodiscard]] Cancellable scheduleOnce(std::chrono::nanoseconds delay,
                                         std::function<void()> fire) override;
  // Main thread (see TimerScheduler). Cancelling from inside any block, fire or prepare is safe.
  [[nodiscard]] Cancellable beforeTimers(std::function<void()> prepare) override;

  // Runs blocks and timers on the calling thread, which becomes the main thread, until stop().
  // Returns at once when stop() came first. Before it returns, the beforeTimers functions run
  // once more, so that what the blocks that ran left owed is done. Blocks still queued then are
  // dropped unrun when the loop is destroyed.
  void run();

  // Callable from any thread. The loop finishes the block or fire in progress and run() returns.
  // Stopping is final.
  void stop();

  // Main thread, outside a block or fire. With a waiter, the idle loop sleeps in waiter.wait
  // (bounded by the next timer's deadline) instead of on its own condition variable, and
  // async, timers scheduled and stop() wake it: so a window's events and the main queue share
  // the main thread. Null goes back to the loop's own sleep; once setWaiter(nullptr) returns, no
  // thread is inside or will enter waiter.wake. The waiter must stay until then.
  void setWaiter(MainThreadWaiter* waiter);

  // Callable from any thread: blocks queued and not yet started.
  std::size_t pendingBlocks() const;

  // Callable from any thread: waits until at most n blocks are pending or the loop is stopped,
  // so a producer can keep the queue from growing without bound. On the thread inside run() it
  // returns at once, since waiting there would wait for itself.
  void waitUntilPendingAtMost(std::size_t n);

 private:
  // A timer first due delay from now, then every interval (zero: once).
  Cancellable schedule(std::chrono::nanoseconds delay, std::chrono::nanoseconds interval,
                       std::function<void()> fire);

  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace dunvel
