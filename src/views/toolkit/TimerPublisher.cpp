#include "views/toolkit/TimerPublisher.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace dunvel {

struct TimerPublisher::Shared {
  std::chrono::nanoseconds interval;
  std::optional<std::chrono::nanoseconds> tolerance;
  RunLoop runLoop;
  RunLoopMode mode;

  std::map<std::uint64_t, std::shared_ptr<std::function<void(Date)>>> subscribers;
  std::uint64_t nextId = 0;
  Cancellable timer;

  Shared(std::chrono::nanoseconds interval, std::optional<std::chrono::nanoseconds> tolerance,
         RunLoop runLoop, RunLoopMode mode)
      : interval(interval), tolerance(tolerance), runLoop(runLoop), mode(mode) {}

  void fire() {
    Date now = runLoop.clock().now();
    // Receivers may subscribe or cancel while a tick is delivered: deliver to the subscribers of
    // the moment the tick began, skipping any cancelled in between.
    std::vector<std::pair<std::uint64_t, std::shared_ptr<std::function<void(Date)>>>> current(
        subscribers.begin(), subscribers.end());
    for (auto& [id, receive] : current) {
      if (subscribers.count(id) == 0) continue;
      (*receive)(now);
    }
  }
};

TimerPublisher::TimerPublisher(std::chrono::nanoseconds interval,
                               std::optional<std::chrono::nanoseconds> tolerance, RunLoop runLoop,
                               RunLoopMode mode)
    : shared_(std::make_shared<Shared>(interval, tolerance, runLoop, mode)) {}

Cancellable TimerPublisher::sink(std::function<void(Date)> receive) const {
  auto shared = shared_;
  std::uint64_t id = shared->nextId++;
  shared->subscribers.emplace(id, std::make_shared<std::function<void(Date)>>(std::move(receive)));
  if (shared->subscribers.size() == 1) {
    // The first subscriber connects. The timer holds the state weakly: the state owns the timer.
    std::weak_ptr<Shared> weak = shared;
    shared->timer = shared->runLoop.timers().scheduleRepeating(shared->interval, [weak] {
      if (auto live = weak.lock()) live->fire();
    });
  }
  // The subscription keeps the publisher's state alive while it lasts.
  return Cancellable([shared, id] {
    if (shared->subscribers.erase(id) == 0) return;
    // The last subscriber disconnects: the timer stops.
    if (shared->subscribers.empty()) shared->timer.cancel();
  });
}

std::chrono::nanoseconds TimerPublisher::interval() const {
  return shared_->interval;
}

std::optional<std::chrono::nanoseconds> TimerPublisher::tolerance() const {
  return shared_->tolerance;
}

RunLoopMode TimerPublisher::mode() const {
  return shared_->mode;
}

bool operator==(const TimerPublisher& a, const TimerPublisher& b) {
  return a.shared_ == b.shared_ ||
         (a.shared_->interval == b.shared_->interval &&
          a.shared_->tolerance == b.shared_->tolerance &&
          a.shared_->runLoop == b.shared_->runLoop && a.shared_->mode == b.shared_->mode);
}

}  // namespace dunvel
