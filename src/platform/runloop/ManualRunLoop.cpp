#include "platform/runloop/ManualRunLoop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include "platform/runloop/TimerTable.h"

namespace dunvel {

namespace {

using std::chrono::nanoseconds;

nanoseconds addSaturating(nanoseconds a, nanoseconds b) {
  if (b > nanoseconds::max() - a) return nanoseconds::max();
  return a + b;
}

}  // namespace

struct ManualRunLoop::Shared {
  mutable std::mutex mutex;
  std::deque<std::function<void()>> blocks;
  TimerTable<nanoseconds> timers;
  nanoseconds uptime{0};
  // The wall clock reads wallAtMark plus the monotonic time since uptimeAtMark; computing it
  // from a mark rather than summing steps keeps whole-second readings exact.
  Date wallAtMark;
  nanoseconds uptimeAtMark{0};

  // Whether a timer falls due at or before limit.
  bool anyDue(nanoseconds limit) {
    std::lock_guard lock(mutex);
    return timers.earliestDue(limit) != nullptr;
  }

  // Moves virtual time to the earliest deadline at or before limit, if any, calls the
  // observers, then fires the timer due at that moment unless they cancelled it; tells whether
  // one fired. Runs no queued block.
  bool fireDue(nanoseconds limit) {
    TimerTable<nanoseconds>::Turn turn;
    {
      std::unique_lock lock(mutex);
      auto* due = timers.earliestDue(limit);
      if (due == nullptr) return false;
      // Deadlines never lie in the past: a timer is scheduled at or after the time it was set.
      if (due->deadline > uptime) uptime = due->deadline;
      callObservers(timers, lock);
      due = timers.earliestDue(uptime);
      if (due == nullptr) return false;
      turn = timers.takeTurn(
          *due, [](const auto& timer) { return addSaturating(timer.deadline, timer.interval); });
    }
    (*turn.fire)();
    return true;
  }
};

ManualRunLoop::ManualRunLoop(Date start) : shared_(std::make_shared<Shared>()) {
  shared_->wallAtMark = start;
}

ManualRunLoop::~ManualRunLoop() {
  // Destroy leftover blocks and timer functions outside the lock: their captures may cancel
  // timers or queue blocks as they go.
  std::deque<std::function<void()>> blocks;
  TimerTable<nanoseconds> timers;
  std::lock_guard lock(shared_->mutex);
  blocks.swap(shared_->blocks);
  timers = shared_->timers.takeAll();
  // (the lock is released before blocks and timers, declared earlier, are destroyed)
}

void ManualRunLoop::async(std::function<void()> block) {
  std::lock_guard lock(shared_->mutex);
  shared_->blocks.push_back(std::move(block));
}

Cancellable ManualRunLoop::scheduleRepeating(nanoseconds interval, std::function<void()> fire) {
  if (interval <= nanoseconds::zero()) {
    throw std::invalid_argument("ManualRunLoop::scheduleRepeating: the interval must be positive");
  }
  return schedule(interval, interval, std::move(fire));
}

Cancellable ManualRunLoop::scheduleOnce(nanoseconds delay, std::function<void()> fire) {
  return schedule(std::max(delay, nanoseconds::zero()), nanoseconds::zero(), std::move(fire));
}

Cancellable ManualRunLoop::schedule(nanoseconds delay, nanoseconds interval,
                                    std::function<void()> fire) {
  std::uint64_t id = 0;
  {
    std::lock_guard lock(shared_->mutex);
    id = shared_->timers.add(addSaturating(shared_->uptime, delay), interval, std::move(fire));
  }
  return timerCancellable(shared_, id);
}

Cancellable ManualRunLoop::beforeTimers(std::function<void()> prepare) {
  std::uint64_t id = 0;
  {
    std::lock_guard lock(shared_->mutex);
    id = shared_->timers.addObserver(std::move(prepare));
  }
  return observerCancellable(shared_, id);
}

Date ManualRunLoop::now() const {
  std::lock_guard lock(shared_->mutex);
  const auto elapsed = shared_->uptime - shared_->uptimeAtMark;
  return Date{shared_->wallAtMark.timeIntervalSince1970 +
              static_cast<double>(elapsed.count()) / 1e9};
}

bool ManualRunLoop::step() {
  std::function<void()> block;
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->blocks.empty()) return false;
    block = std::move(shared_->blocks.front());
    shared_->blocks.pop_front();
  }
  block();
  return true;
}

std::size_t ManualRunLoop::drain() {
  std::size_t ran = 0;
  while (step()) ++ran;
  return ran;
}

std::size_t ManualRunLoop::pending() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->blocks.size();
}

void ManualRunLoop::advance(double seconds) {
  // Checked before converting: an out-of-range double converted to an integer is undefined.
  constexpr double kLimit = 9.0e9;  // seconds; about 285 years, well inside int64 nanoseconds
  if (!std::isfinite(seconds) || seconds < 0.0 || seconds > kLimit) {
    throw std::invalid_argument(
        "ManualRunLoop::advance: seconds must be finite, not negative and at most 9e9");
  }
  advance(nanoseconds(static_cast<std::int64_t>(std::llround(seconds * 1e9))));
}

void ManualRunLoop::advance(nanoseconds duration) {
  if (duration < nanoseconds::zero()) {
    throw std::invalid_argument("ManualRunLoop::advance: the duration must not be negative");
  }
  nanoseconds target;
  {
    std::lock_guard lock(shared_->mutex);
    if (duration > nanoseconds::max() - shared_->uptime) {
      throw std::invalid_argument("ManualRunLoop::advance: virtual time would overflow");
    }
    target = shared_->uptime + duration;
  }
  drain();
  // A timer that the observers cancel leaves the others to fire; every round moves time on.
  while (shared_->anyDue(target)) {
    shared_->fireDue(target);
    drain();
  }
  {
    std::lock_guard lock(shared_->mutex);
    if (target > shared_->uptime) shared_->uptime = target;
  }
  drain();
}

bool ManualRunLoop::fireNextTimer() {
  std::optional<nanoseconds> next;
  {
    std::lock_guard lock(shared_->mutex);
    next = shared_->timers.nextDeadline();
  }
  return next && shared_->fireDue(*next);
}

void ManualRunLoop::setNow(Date date) {
  std::lock_guard lock(shared_->mutex);
  shared_->wallAtMark = date;
  shared_->uptimeAtMark = shared_->uptime;
}

nanoseconds ManualRunLoop::uptime() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->uptime;
}

std::size_t ManualRunLoop::timerCount() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->timers.size();
}

}  // namespace dunvel
