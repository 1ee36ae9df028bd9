#include "platform/runloop/ManualRunLoop.h"

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

namespace dunvel {

namespace {

using std::chrono::nanoseconds;

nanoseconds addSaturating(nanoseconds a, nanoseconds b) {
  if (b > nanoseconds::max() - a) return nanoseconds::max();
  return a + b;
}

struct Timer {
  nanoseconds deadline;
  nanoseconds interval;
  std::shared_ptr<std::function<void()>> fire;
};

}  // namespace

struct ManualRunLoop::Shared {
  mutable std::mutex mutex;
  std::deque<std::function<void()>> blocks;
  // Keyed by scheduling order, so equal deadlines fire in the order they were scheduled.
  std::map<std::uint64_t, Timer> timers;
  std::uint64_t nextTimerId = 0;
  nanoseconds uptime{0};
  // The wall clock reads wallAtMark plus the monotonic time since uptimeAtMark; computing it
  // from a mark rather than summing steps keeps whole-second readings exact.
  Date wallAtMark;
  nanoseconds uptimeAtMark{0};
};

ManualRunLoop::ManualRunLoop(Date start) : shared_(std::make_shared<Shared>()) {
  shared_->wallAtMark = start;
}

ManualRunLoop::~ManualRunLoop() {
  // Destroy leftover blocks and timer functions outside the lock: their captures may cancel
  // timers or queue blocks as they go.
  std::deque<std::function<void()>> blocks;
  std::map<std::uint64_t, Timer> timers;
  std::lock_guard lock(shared_->mutex);
  blocks.swap(shared_->blocks);
  timers.swap(shared_->timers);
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
  std::uint64_t id = 0;
  {
    std::lock_guard lock(shared_->mutex);
    id = shared_->nextTimerId++;
    shared_->timers.emplace(id, Timer{addSaturating(shared_->uptime, interval), interval,
                                      std::make_shared<std::function<void()>>(std::move(fire))});
  }
  std::weak_ptr<Shared> weakShared = shared_;
  return Cancellable([weakShared, id] {
    auto shared = weakShared.lock();
    if (!shared) return;
    std::optional<Timer> removed;
    {
      std::lock_guard lock(shared->mutex);
      auto found = shared->timers.find(id);
      if (found == shared->timers.end()) return;
      removed = std::move(found->second);
      shared->timers.erase(found);
    }
  });
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
  for (;;) {
    std::shared_ptr<std::function<void()>> fire;
    {
      std::lock_guard lock(shared_->mutex);
      Timer* due = nullptr;
      for (auto& [id, timer] : shared_->timers) {
        if (timer.deadline <= target && (due == nullptr || timer.deadline < due->deadline)) {
          due = &timer;
        }
      }
      if (due == nullptr) break;
      // Deadlines never lie in the past: a timer is scheduled at least one interval ahead.
      if (due->deadline > shared_->uptime) shared_->uptime = due->deadline;
      due->deadline = addSaturating(due->deadline, due->interval);
      fire = due->fire;
    }
    (*fire)();
    fire.reset();
    drain();
  }
  {
    std::lock_guard lock(shared_->mutex);
    if (target > shared_->uptime) shared_->uptime = target;
  }
  drain();
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
