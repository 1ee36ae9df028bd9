#pragma once

#include "platform/recording/RecordingWriter.h"
#include "views/toolkit/HapticEngine.h"

namespace dunvel {

// A haptic engine that notes each haptic in a recording, then plays it on the engine it wraps.
// Both must outlive it. Main thread only.
class HapticRecorder final : public HapticEngine {
 public:
  HapticRecorder(HapticEngine& engine, RecordingWriter& recording)
      : engine_(engine), recording_(recording) {}

  void playHaptic(HapticType type) override {
    recording_.haptic(type);
    engine_.playHaptic(type);
  }

 private:
  HapticEngine& engine_;
  RecordingWriter& recording_;
};

}  // namespace dunvel
