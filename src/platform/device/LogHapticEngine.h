#pragma once

#include <ostream>

#include "views/toolkit/HapticEngine.h"

namespace dunvel {

// The Linux haptic engine: there is no wrist to tap, so each haptic becomes one line on the log,
// such as "haptic: notification (0)". The stream must outlive the engine. Main thread only.
class LogHapticEngine final : public HapticEngine {
 public:
  explicit LogHapticEngine(std::ostream& log) : log_(log) {}

  void playHaptic(HapticType type) override;

 private:
  std::ostream& log_;
};

}  // namespace dunvel
