#include "platform/runloop/MainRunLoop.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "platform/runloop/MainThreadWaiter.h"
#include "platform/runloop/TimerTable.h"

namespace dunvel {

namespace {

using SteadyClock = std::chrono::steady_clock;

// deadline + interval without overflowing: a deadline beyond the clock's range is "never".
SteadyClock::time_point addSaturating(SteadyClock::time_point deadline,
                                      std::chrono::nanoseconds interval) {
  const auto limit = SteadyClock::time_point::max();
  const auto room = std::chrono::duration_cast<std::chrono::nanoseconds>(limit - deadline);
  if (interval >= room) return limit;
  return deadline + std::chrono::duration_cast<SteadyClock::duration>(interval);
}

// The next deadline of a repeating timer that fell due at now: it keeps the cadence of the first
// deadline, and whole intervals already past are skipped.
template <class Timer>
SteadyClock::time_point nextDeadline(const Timer& due, SteadyClock::time_point now) {
  const std::int64_t intervalNs = due.interval.count();
  const std::int64_t lateNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(now - due.deadline).count();
  const std::int64_t steps = lateNs / intervalNs + 1;
  const auto step = steps > std::numeric_limits<std::int64_t>::max() / intervalNs
                        ? std::chrono::nanoseconds::max()
                        : std::chrono::nanoseconds(steps * intervalNs);
  return addSaturating(due.deadline, step);
}

}  // namespace

struct MainRunLoop::Shared {
  mutable std::mutex mutex;
  // The main thread sleeps on wake; producers held back by waitUntilPendingAtMost on drained.
  std::condition_variable wake;
  std::condition_variable drained;
  std::deque<std::function<void()>> blocks;
  TimerTable<SteadyClock::time_point> timers;
  std::size_t drainWaiters = 0;
  bool stopped = false;
  std::thread::id runThread;
  MainThreadWaiter* waiter = nullptr;

  // Under the mutex, so that setWaiter(nullptr) waits for a wake in progress. The run thread
  // need not wake itself: it looks at the queue before it sleeps again.
  void wakeWaiter() {
    if (waiter != nullptr && std::this_thread::get_id() != runThread) waiter->wake();
  }
};

MainRunLoop::MainRunLoop() : shared_(std::make_shared<Shared>()) {}

MainRunLoop::~MainRunLoop() {
  // Queued blocks and timer functions are destroyed outside the lock: their captures may
  // cancel timers or queue blocks while they go.
  std::deque<std::function<void()>> blocks;
  TimerTable<SteadyClock::time_point> timers;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopped = true;
    blocks.swap(shared_->blocks);
    timers = shared_->timers.takeAll();
  }
  shared_->drained.notify_all();
}

void MainRunLoop::async(std::function<void()> block) {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->blocks.push_back(std::move(block));
    shared_->wakeWaiter();
  }
  shared_->wake.notify_one();
}

Cancellable MainRunLoop::scheduleRepeating(std::chrono::nanoseconds interval,
                                           std::function<void()> fire) {
  if (interval <= std::chrono::nanoseconds::zero()) {
    throw std::invalid_argument("MainRunLoop::scheduleRepeating: the interval must be positive");
  }
  return schedule(interval, interval, std::move(fire));
}

Cancellable MainRunLoop::schedule(std::chrono::nanoseconds delay, std::chrono::nanoseconds interval,
                                  std::function<void()> fire) {
  std::uint64_t id = 0;
  {
    std::lock_guard lock(shared_->mutex);
    id = shared_->timers.add(addSaturating(SteadyClock::now(), delay), interval, std::move(fire));
    shared_->wakeWaiter();
  }
  // The loop may be asleep with a later deadline (when scheduled from another thread).
  shared_->wake.notify_one();
  return timerCancellable(shared_, id);
}

Cancellable MainRunLoop::scheduleOnce(std::chrono::nanoseconds delay, std::function<void()> fire) {
  return schedule(std::max(delay, std::chrono::nanoseconds::zero()),
                  std::chrono::nanoseconds::zero(), std::move(fire));
}

Cancellable MainRunLoop::beforeTimers(std::function<void()> prepare) {
  std::uint64_t id = 0;
  {
    std::lock_guard lock(shared_->mutex);
    id = shared_->timers.addObserver(std::move(prepare));
  }
  return observerCancellable(shared_, id);
}

void MainRunLoop::run() {
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  s.runThread = std::this_thread::get_id();
  while (!s.stopped) {
    bool didWork = false;

    // One due timer, then one block, so that neither can starve the other.
    const auto now = SteadyClock::now();
    auto* due = s.timers.earliestDue(now);
    if (due != nullptr) {
      // What must be done before time moves on comes first (the view graph brings what is
      // shown up to date with the blocks that ran); it may cancel the timer that fell due.
      callObservers(s.timers, lock);
      if (s.stopped) break;
      due = s.timers.earliestDue(now);
    }
    if (due != nullptr) {
      auto turn =
          s.timers.takeTurn(*due, [now](const auto& timer) { return nextDeadline(timer, now); });
      lock.unlock();
      (*turn.fire)();
      // The function, and a spent one-shot with it, go outside the lock.
      turn = {};
      lock.lock();
      didWork = true;
      if (s.stopped) break;
    }

    if (!s.blocks.empty()) {
      auto block = std::move(s.blocks.front());
      s.blocks.pop_front();
      if (s.drainWaiters > 0) s.drained.notify_all();
      lock.unlock();
      block();
      block = nullptr;
      lock.lock();
      didWork = true;
    }

    if (didWork) continue;

    // Idle: sleep until a block arrives, stop() is called, or the next timer falls due.
    const auto next = s.timers.nextDeadline();
    if (s.waiter != nullptr) {
      MainThreadWaiter* waiter = s.waiter;
      std::optional<SteadyClock::time_point> deadline;
      if (next && *next != SteadyClock::time_point::max()) deadline = *next;
      lock.unlock();
      waiter->wait(deadline);
      lock.lock();
    } else if (!next) {
      s.wake.wait(lock);
    } else if (*next != SteadyClock::time_point::max()) {
      s.wake.wait_until(lock, *next);
    } else {
      s.wake.wait(lock);  // a deadline beyond the clock's range never falls due
    }
  }
  // What the blocks that ran left owed is done before the loop ends: a snapshot that was taken
  // in is shown (and recorded) even when the stop came before the next timer.
  callObservers(s.timers, lock);
  s.runThread = std::thread::id();
}

void MainRunLoop::stop() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopped = true;
    shared_->wakeWaiter();
  }
  shared_->wake.notify_all();
  shared_->drained.notify_all();
}

void MainRunLoop::setWaiter(MainThreadWaiter* waiter) {
  std::lock_guard lock(shared_->mutex);
  shared_->waiter = waiter;
}

std::size_t MainRunLoop::pendingBlocks() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->blocks.size();
}

void MainRunLoop::waitUntilPendingAtMost(std::size_t n) {
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  if (s.runThread == std::this_thread::get_id()) return;
  ++s.drainWaiters;
  s.drained.wait(lock, [&] { return s.stopped || s.blocks.size() <= n; });
  --s.drainWaiters;
}

}  // namespace dunvel
