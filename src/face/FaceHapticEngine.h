#pragma once

#include "face/WatchFace.h"
#include "views/toolkit/HapticEngine.h"

namespace dunvel {

// Haptics on a desktop: each one pulses on the face and goes on to another engine (the log).
// Both must outlive it. Main thread only.
class FaceHapticEngine final : public HapticEngine {
 public:
  FaceHapticEngine(WatchFace& face, HapticEngine& next) : face_(face), next_(next) {}

  void playHaptic(HapticType type) override {
    face_.pulse(type);
    next_.playHaptic(type);
  }

 private:
  WatchFace& face_;
  HapticEngine& next_;
};

}  // namespace dunvel
