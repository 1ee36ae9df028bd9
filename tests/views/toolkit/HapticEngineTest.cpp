#include <gtest/gtest.h>

#include <sstream>

#include "platform/device/LogHapticEngine.h"
#include "support/RecordingHapticEngine.h"

namespace dunvel {
namespace {

TEST(HapticEngine, TheLinuxEngineLogsOneLinePerHapticWithItsRawValue) {
  std::ostringstream log;
  LogHapticEngine engine(log);
  HapticEngine& device = engine;
  device.playHaptic(HapticType::notification);
  device.playHaptic(HapticType::click);
  device.playHaptic(HapticType::success);
  device.playHaptic(HapticType::failure);
  device.playHaptic(static_cast<HapticType>(42));
  EXPECT_EQ(log.str(),
            "haptic: notification (0)\n"
            "haptic: click (8)\n"
            "haptic: success (3)\n"
            "haptic: failure (4)\n"
            "haptic: unknown (42)\n");
}

TEST(HapticEngine, TheRecordingDoubleKeepsOrderAndTellsEachHaptic) {
  RecordingHapticEngine engine;
  std::vector<std::size_t> recordedAtPlay;
  engine.onPlay = [&](HapticType) { recordedAtPlay.push_back(engine.played().size()); };
  engine.playHaptic(HapticType::success);
  engine.playHaptic(HapticType::failure);
  EXPECT_EQ(engine.played(), (std::vector<HapticType>{HapticType::success, HapticType::failure}));
  EXPECT_EQ(recordedAtPlay, (std::vector<std::size_t>{1, 2}));
}

}  // namespace
}  // namespace dunvel
