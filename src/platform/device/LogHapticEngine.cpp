#include "platform/device/LogHapticEngine.h"

#include <string>

namespace dunvel {

void LogHapticEngine::playHaptic(HapticType type) {
  // One whole line per haptic in a single write, flushed, so it lands in order with the screen
  // log and never interleaves with lines another thread (the in-process demo host) writes.
  log_ << (std::string("haptic: ") + hapticName(type) + " (" +
           std::to_string(static_cast<int>(type)) + ")\n")
       << std::flush;
}

}  // namespace dunvel
