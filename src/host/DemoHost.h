#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "host/QuizNight.h"

namespace dunvel {

// Plays the demo quiz night against a companion over the socket link, as the host app would:
// sends the current snapshot after every (re)connection and after every change, applies the
// companion's commands, and lets time move the night on. Everything runs on the connection's
// I/O thread.
class DemoHost {
 public:
  struct Options {
    std::filesystem::path path;
    Autoplay autoplay = Autoplay::off;
    // Wall clock seconds since 1970; the system clock when empty.
    std::function<double()> now;
    // Receives one line per event (what the night did, commands, connection changes), on the
    // I/O thread. Nothing is logged when empty.
    std::function<void(const std::string&)> log;
  };

  explicit DemoHost(Options options);
  ~DemoHost();
  DemoHost(const DemoHost&) = delete;
  DemoHost& operator=(const DemoHost&) = delete;

  // Starts connecting (and reconnecting whenever the companion goes away) and playing.
  void start();
  // Ends the night's connection; no callback runs after it returns.
  void stop();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dunvel
