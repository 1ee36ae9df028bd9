#pragma once

#include <functional>
#include <vector>

#include "views/toolkit/HapticEngine.h"
#include "views/toolkit/HapticType.h"

namespace dunvel {

// A haptic engine double (include as "support/RecordingHapticEngine.h"): records every haptic in
// order. onPlay, when set, runs at each haptic after it is recorded, so a test can note what
// else had happened by then (for example how many messages the session had sent). Main thread.
class RecordingHapticEngine final : public HapticEngine {
 public:
  void playHaptic(HapticType type) override;

  const std::vector<HapticType>& played() const { return played_; }
  void clear() { played_.clear(); }

  std::function<void(HapticType)> onPlay;

 private:
  std::vector<HapticType> played_;
};

}  // namespace dunvel
