#include "platform/device/LogHapticEngine.h"

namespace dunvel {

namespace {

const char* hapticName(HapticType type) {
  switch (type) {
    case HapticType::notification:
      return "notification";
    case HapticType::success:
      return "success";
    case HapticType::failure:
      return "failure";
    case HapticType::click:
      return "click";
  }
  // A raw value from outside the known set is still logged, by its number.
  return "unknown";
}

}  // namespace

void LogHapticEngine::playHaptic(HapticType type) {
  // One whole line per haptic, flushed, so it lands in order with the screen log.
  log_ << "haptic: " << hapticName(type) << " (" << static_cast<int>(type) << ")" << std::endl;
}

}  // namespace dunvel
