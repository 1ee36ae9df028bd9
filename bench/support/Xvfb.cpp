#include "support/Xvfb.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace dunvel::bench {

std::optional<Xvfb> Xvfb::start() {
  for (int number = 90; number < 110; ++number) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    if (std::filesystem::exists(socket) ||
        std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
      continue;
    }
    const std::string name = ":" + std::to_string(number);
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
