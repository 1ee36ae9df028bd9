#include "platform/runloop/MainRunLoop.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

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

struct Timer {
  SteadyClock::time_point deadline;
  std::chrono::nanoseconds interval;
  std::shared_ptr<std::function<void()>> fire;
};

}  // namespace

struct MainRunLoop::Shared {
  mutable std::mutex mutex;
  // The main thread sleeps on wake; producers held back by waitUntilPendingAtMost on drained.
  std::condition_variable wake;
  std::condition_variable drained;
  std::deque<std::function<void()>> blocks;
  // Keyed by scheduling order, so equal deadlines fire in the order they were scheduled.
  std::map<std::uint64_t, Timer> timers;
  std::uint64_t nextTimerId = 0;
  std::size_t drainWaiters = 0;
  bool stopped = false;
  std::thread::id runThread;
};

MainRunLoop::MainRunLoop() : shared_(std::make_shared<Shared>()) {}

MainRunLoop::~MainRunLoop() {
  // Queued blocks and timer functions are destroyed outside the lock: their captures may
  // cancel timers or queue blocks while they go.
  std::deque<std::function<void()>> blocks;
  std::map<std::uint64_t, Timer> timers;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopped = true;
    blocks.swap(shared_->blocks);
    timers.swap(shared_->timers);
  }
  shared_->drained.notify_all();
}

void MainRunLoop::async(std::function<void()> block) {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->blocks.push_back(std::move(block));
  }
  shared_->wake.notify_one();
}

Cancellable MainRunLoop::scheduleRepeating(std::chrono::nanoseconds interval,
                                           std::function<void()> fire) {
  if (interval <= std::chrono::nanoseconds::zero()) {
    throw std::invalid_argument("MainRunLoop::scheduleRepeating: the interval must be positive");
  }
  std::uint64_t id = 0;
  {
    std::lock_guard lock(shared_->mutex);
    id = shared_->nextTimerId++;
    shared_->timers.emplace(id, Timer{addSaturating(SteadyClock::now(), interval), interval,
                                      std::make_shared<std::function<void()>>(std::move(fire))});
  }
  // The loop may be asleep with a later deadline (when scheduled from another thread).
  shared_->wake.notify_one();

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
    // removed (and possibly the last reference to its function) ends here, unlocked.
  });
}

void MainRunLoop::run() {
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  s.runThread = std::this_thread::get_id();
  while (!s.stopped) {
    bool didWork = false;

    // One due timer, then one block, so that neither can starve the other.
    const auto now = SteadyClock::now();
    Timer* due = nullptr;
    for (auto& [id, timer] : s.timers) {
      if (timer.deadline <= now && (due == nullptr || timer.deadline < due->deadline)) {
        due = &timer;
      }
    }
    if (due != nullptr) {
      // Keep the cadence of the first deadline; whole intervals already past are skipped.
      const std::int64_t intervalNs = due->interval.count();
      const std::int64_t lateNs =
          std::chrono::duration_cast<std::chrono::nanoseconds>(now - due->deadline).count();
      const std::int64_t steps = lateNs / intervalNs + 1;
      const auto step = steps > std::numeric_limits<std::int64_t>::max() / intervalNs
                            ? std::chrono::nanoseconds::max()
                            : std::chrono::nanoseconds(steps * intervalNs);
      const auto next = addSaturating(due->deadline, step);
      due->deadline = next;
      auto fire = due->fire;
      lock.unlock();
      (*fire)();
      fire.reset();
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
    std::optional<SteadyClock::time_point> next;
    for (const auto& [id, timer] : s.timers) {
      if (!next || timer.deadline < *next) next = timer.deadline;
    }
    if (!next) {
      s.wake.wait(lock);
    } else if (*next != SteadyClock::time_point::max()) {
      s.wake.wait_until(lock, *next);
    } else {
      s.wake.wait(lock);  // a deadline beyond the clock's range never falls due
    }
  }
  s.runThread = std::thread::id();
}

void MainRunLoop::stop() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopped = true;
  }
  shared_->wake.notify_all();
  shared_->drained.notify_all();
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
