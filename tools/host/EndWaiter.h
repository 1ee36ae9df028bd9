#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/runloop/TerminationSignals.h"

namespace dunvel {

// Waits for the end of a host command: SIGINT, SIGTERM or SIGHUP (which end it with status 0) or a
// finish() from any thread; the first status given is kept. The signals are caught from
// construction on: made before a connection starts, it turns a Ctrl-C that comes as soon as the
// first line is printed into a clean exit as well.
class EndWaiter {
 public:
  EndWaiter() : signals_([this](int) { finish(0); }) {}

  // Callable from any thread.
  void finish(int status) {
    std::lock_guard lock(mutex_);
    if (!status_) status_ = status;
    done_.notify_all();
  }

  // Blocks until the end; its status.
  int wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return status_.has_value(); });
    return *status_;
  }

  // Blocks until the end or the deadline, whichever comes first; the status once ended.
  std::optional<int> waitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    done_.wait_until(lock, deadline, [this] { return status_.has_value(); });
    return status_;
  }

  // Blocks until the end or until ready() holds; ready is checked now and after each wake().
  // The status once ended, else nothing.
  std::optional<int> waitFor(const std::function<bool()>& ready) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return status_.has_value() || ready(); });
    return status_;
  }

  // The status once ended, else nothing.
  std::optional<int> status() {
    std::lock_guard lock(mutex_);
    return status_;
  }

  // Callable from any thread: makes waitFor check its condition again.
  void wake() {
    std::lock_guard lock(mutex_);
    done_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  std::optional<int> status_;
  // Last: its thread calls finish() until it is destroyed, first.
  TerminationSignals signals_;
};

}  // namespace dunvel
