#pragma once

#include <optional>
#include <string>

namespace dunvel {

// What dunvel-watch was asked to do.
struct WatchOptions {
  // No window: the companion logs what it shows. The only mode until a window exists.
  bool headless = false;
  // The socket path from --link; the default location when absent.
  std::optional<std::string> link;
  // Also play the demo quiz night as the host, in this process, over the real socket.
  bool demo = false;
  // Append a recording of the night to this file (--record).
  std::optional<std::string> record;
};

}  // namespace dunvel
