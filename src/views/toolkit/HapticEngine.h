#pragma once

#include "views/toolkit/HapticType.h"

namespace dunvel {

// The device's haptic engine (the platform's current device). Main thread only. Views reach it
// through the environment: Environment::current().currentDevice().
class HapticEngine {
 public:
  virtual ~HapticEngine() = default;
  // Plays one haptic of the given type; one call, one haptic.
  virtual void playHaptic(HapticType type) = 0;
};

}  // namespace dunvel
