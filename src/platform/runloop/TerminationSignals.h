#pragma once

#include <functional>
#include <memory>

namespace dunvel {

// Turns SIGINT, SIGTERM and SIGHUP (the terminal closed) into a call on a thread of its own, so a
// long-running program can end cleanly: the handler may do anything a normal thread may (stop a
// run loop, say), which a signal handler may not. While it exists the signals no longer end the
// process by themselves.
class TerminationSignals {
 public:
  // onSignal runs once per signal received, on the watcher's thread.
  explicit TerminationSignals(std::function<void(int signalNumber)> onSignal);
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dunvel
