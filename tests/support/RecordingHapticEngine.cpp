#include "support/RecordingHapticEngine.h"

namespace dunvel {

void RecordingHapticEngine::playHaptic(HapticType type) {
  played_.push_back(type);
  if (onPlay) onPlay(type);
}

}  // namespace dunvel
