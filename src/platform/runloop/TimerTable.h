#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "observation/Cancellable.h"

namespace dunvel {

// The repeating timers of a run loop, on whatever time line the loop keeps (the steady clock
// for the main run loop, virtual uptime for the manual one). Not synchronised: the loop guards
// it with its own mutex.
template <class TimePoint>
class TimerTable {
 public:
  struct Timer {
    TimePoint deadline;
    std::chrono::nanoseconds interval;
    // Shared so that a fire in progress survives its timer being cancelled from inside it.
    std::shared_ptr<std::function<void()>> fire;
  };

  // Returns the new timer's id.
  std::uint64_t add(TimePoint deadline, std::chrono::nanoseconds interval,
                    std::function<void()> fire) {
    const std::uint64_t id = nextId_++;
    timers_.emplace(
        id, Timer{deadline, interval, std::make_shared<std::function<void()>>(std::move(fire))});
    return id;
  }

  // The removed timer, for the caller to destroy once it has let go of its lock (the fire's
  // captures may cancel timers or queue blocks as they go); nothing when the id is gone.
  std::optional<Timer> remove(std::uint64_t id) {
    auto found = timers_.find(id);
    if (found == timers_.end()) return std::nullopt;
    std::optional<Timer> removed = std::move(found->second);
    timers_.erase(found);
    return removed;
  }

  // The timer with the earliest deadline at or before limit; among equal deadlines the one
  // scheduled first. Null when none is due.
  Timer* earliestDue(TimePoint limit) {
    Timer* due = nullptr;
    for (auto& [id, timer] : timers_) {
      if (timer.deadline <= limit && (due == nullptr || timer.deadline < due->deadline)) {
        due = &timer;
      }
    }
    return due;
  }

  // The earliest deadline of all; nothing when there are no timers.
  std::optional<TimePoint> nextDeadline() const {
    std::optional<TimePoint> next;
    for (const auto& [id, timer] : timers_) {
      if (!next || timer.deadline < *next) next = timer.deadline;
    }
    return next;
  }

  std::size_t size() const { return timers_.size(); }

  // Moves every timer out, for destroying outside the lock.
  TimerTable takeAll() {
    TimerTable taken;
    taken.timers_.swap(timers_);
    return taken;
  }

 private:
  // Keyed by scheduling order, so equal deadlines fire in the order they were scheduled.
  std::map<std::uint64_t, Timer> timers_;
  std::uint64_t nextId_ = 0;
};

// The handle for timer id of a loop whose shared part (a mutex and a TimerTable named timers)
// is held by shared_ptr: cancelling after the loop is gone does nothing, and the timer's
// function is destroyed outside the loop's lock.
template <class Shared>
Cancellable timerCancellable(const std::shared_ptr<Shared>& shared, std::uint64_t id) {
  std::weak_ptr<Shared> weakShared = shared;
  return Cancellable([weakShared, id] {
    auto strong = weakShared.lock();
    if (!strong) return;
    decltype(strong->timers.remove(id)) removed;
    {
      std::lock_guard lock(strong->mutex);
      removed = strong->timers.remove(id);
    }
    // removed (and possibly the last reference to its function) ends here, unlocked.
  });
}

}  // namespace dunvel
