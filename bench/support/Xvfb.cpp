#include "support/Xvfb.h"

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace dunvel::bench {

namespace {

// Whether a display's lock file names a process that still runs. A server killed outright (the
// soak and the lost-display runs do that) leaves its lock and socket behind; Xvfb takes such a
// display over by itself.
bool heldByALiveServer(const std::string& lock) {
  std::ifstream file(lock);
  long pid = 0;
  if (!(file >> pid) || pid <= 0) return std::filesystem::exists(lock);
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

}  // namespace

std::optional<Xvfb> Xvfb::start() {
  for (int number = 90; number < 110; ++number) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    if (std::filesystem::exists(lock) ? heldByALiveServer(lock) : std::filesystem::exists(socket)) {
      continue;
    }
    std::string name = ":";
    name += std::to_string(number);
    auto server = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/Xvfb", name, "-screen", "0", "640x640x24", "-nolisten",
                                 "tcp"},
        ChildProcess::Output::discard);
    for (int i = 0; i < 100 && server->running(); ++i) {
      if (std::filesystem::exists(socket)) return Xvfb(name, std::move(server));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  return std::nullopt;
}

}  // namespace dunvel::bench
