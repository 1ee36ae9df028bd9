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

// The timers of a run loop, repeating or one-shot, on whatever time line the loop keeps (the steady
// clock for the main run loop, virtual uptime for the manual one), and the observers the loop calls
// before a timer fires. Not synchronised: the loop guards it with its own mutex.
template <class TimePoint>
class TimerTable {
 public:
  struct Timer {
    TimePoint deadline;
    // Zero for a one-shot, which leaves the table when it fires.
    std::chrono::nanoseconds interval;
    std::uint64_t id = 0;
    // Shared so that a fire in progress survives its timer being cancelled from inside it.
    std::shared_ptr<std::function<void()>> fire;
  };

  // Returns the new timer's id.
  std::uint64_t add(TimePoint deadline, std::chrono::nanoseconds interval,
                    std::function<void()> fire) {
    const std::uint64_t id = nextId_++;
    timers_.emplace(id, Timer{deadline, interval, id,
                              std::make_shared<std::function<void()>>(std::move(fire))});
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

  // A due timer's turn: the fire to call, and a one-shot that left the table, for the caller to
  // destroy once it has let go of its lock.
  struct Turn {
    std::shared_ptr<std::function<void()>> fire;
    std::optional<Timer> spent;
  };
  // Takes due's turn, to fire it: a repeating timer's deadline moves on to next(due); a one-shot
  // leaves the table.
  template <class Next>
  Turn takeTurn(Timer& due, Next next) {
    Turn turn{due.fire, std::nullopt};
    if (due.interval == std::chrono::nanoseconds::zero()) {
      turn.spent = remove(due.id);
    } else {
      due.deadline = next(due);
    }
    return turn;
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

  // The functions to call before a timer fires (TimerScheduler::beforeTimers). Returns the id.
  std::uint64_t addObserver(std::function<void()> observer) {
    const std::uint64_t id = nextId_++;
    observers_.emplace(id, std::make_shared<std::function<void()>>(std::move(observer)));
    return id;
  }
  // The removed observer, for the caller to destroy unlocked; null when the id is gone.
  std::shared_ptr<std::function<void()>> removeObserver(std::uint64_t id) {
    auto found = observers_.find(id);
    if (found == observers_.end()) return nullptr;
    auto removed = std::move(found->second);
    observers_.erase(found);
    return removed;
  }
  // The first observer whose id is at least cursor, in the order they were added; cursor moves
  // past it. Null when there is none.
  std::shared_ptr<std::function<void()>> nextObserver(std::uint64_t& cursor) const {
    auto found = observers_.lower_bound(cursor);
    if (found == observers_.end()) return nullptr;
    cursor = found->first + 1;
    return found->second;
  }

  // Moves every timer and observer out, for destroying outside the lock.
  TimerTable takeAll() {
    TimerTable taken;
    taken.timers_.swap(timers_);
    taken.observers_.swap(observers_);
    return taken;
  }

 private:
  // Keyed by scheduling order, so equal deadlines fire in the order they were scheduled.
  std::map<std::uint64_t, Timer> timers_;
  std::map<std::uint64_t, std::shared_ptr<std::function<void()>>> observers_;
  std::uint64_t nextId_ = 0;
};

// Calls the observers of table one at a time with lock (held on entry and on return) released,
// since they may schedule or cancel timers and observers. An observer removed before its turn is
// not called; one added meanwhile is.
template <class TimePoint, class Lock>
void callObservers(TimerTable<TimePoint>& table, Lock& lock) {
  std::uint64_t cursor = 0;
  while (auto observer = table.nextObserver(cursor)) {
    lock.unlock();
    (*observer)();
    observer.reset();  // possibly the last reference, if the observer was removed meanwhile
    lock.lock();
  }
}

// The handle for an entry of the TimerTable of a loop whose shared part (a mutex and a TimerTable
// named timers) is held by shared_ptr; remove(table) takes the entry out. Cancelling after the
// loop is gone does nothing, and the entry's function is destroyed outside the loop's lock.
template <class Shared, class Remove>
Cancellable tableCancellable(const std::shared_ptr<Shared>& shared, Remove remove) {
  std::weak_ptr<Shared> weakShared = shared;
  return Cancellable([weakShared, remove] {
    auto strong = weakShared.lock();
    if (!strong) return;
    decltype(remove(strong->timers)) removed;
    {
      std::lock_guard lock(strong->mutex);
      removed = remove(strong->timers);
    }
    // removed (and possibly the last reference to its function) ends here, unlocked.
  });
}

template <class Shared>
Cancellable timerCancellable(const std::shared_ptr<Shared>& shared, std::uint64_t id) {
  return tableCancellable(shared, [id](auto& table) { return table.remove(id); });
}

template <class Shared>
Cancellable observerCancellable(const std::shared_ptr<Shared>& shared, std::uint64_t id) {
  return tableCancellable(shared, [id](auto& table) { return table.removeObserver(id); });
}

}  // namespace dunvel
