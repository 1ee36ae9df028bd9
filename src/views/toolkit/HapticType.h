#pragma once

namespace dunvel {

// The haptics the companion plays, with the platform's raw values.
enum class HapticType : int { notification = 0, success = 3, failure = 4, click = 8 };

// "notification", "success", "failure", "click"; "unknown" for a raw value outside them (a
// recording may name any number).
constexpr const char* hapticName(HapticType type) {
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
  return "unknown";
}

}  // namespace dunvel
