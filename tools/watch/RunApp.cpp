#include "watch/RunApp.h"

#include <cstdlib>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "app/AppRunner.h"
#include "app/DunvelWatchApp.h"
#include "app/HeadlessAppRunner.h"
#include "files/DataDir.h"
#include "platform/device/LogHapticEngine.h"
#include "platform/recording/HapticRecorder.h"
#include "platform/runloop/MainRunLoop.h"
#include "platform/runloop/SystemClock.h"
#include "render/FontConfigFile.h"
#include "render/TextSize.h"
#include "state/OneLine.h"
#include "watch/FaceAppRunner.h"

namespace dunvel {

void recordScreenChanges(HeadlessAppRunner& runner, RecordingWriter& recording) {
  runner.onScreenChange([&recording](const ScreenDescription& shown) {
    recording.screen(shown.screen, shown.line());
  });
}

namespace {

bool hasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int runApp(MainRunLoop& loop, const WatchOptions& options, std::ostream& log, std::ostream& err,
           RecordingWriter* recording, FaceViewer* viewer) {
  SystemClock clock;
  const bool window = !options.headless && hasDisplay();
  if (!window && !options.frames && viewer == nullptr) {
    // Nothing is drawn: one line per screen change and one per haptic, until the loop stops.
    LogHapticEngine logged(log);
    std::optional<HapticRecorder> recorded;
    if (recording != nullptr) recorded.emplace(logged, *recording);
    HapticEngine& haptics = recorded ? static_cast<HapticEngine&>(*recorded) : logged;
    HeadlessAppRunner runner(loop, loop, clock, haptics, log, [&loop] { loop.run(); });
    if (recording != nullptr) recordScreenChanges(runner, *recording);
    return appMain<DunvelWatchApp>(runner);
  }
  // A face is drawn: without its fonts it would fail at the first frame, so say so now.
  try {
    if (std::string problem = checkFontConfigFile(dataDir() / "fonts.conf"); !problem.empty()) {
      throw std::runtime_error(problem);
    }
  } catch (const std::runtime_error& error) {
    err << "dunvel-watch: " << oneLine(error.what()) << std::endl;
    return 1;
  }
  FaceAppRunner::Options faceOptions;
  faceOptions.size = parseFaceSize(options.size).value_or(FaceSize::mm45);
  faceOptions.scale = options.scale;
  faceOptions.textSize = parseTextSize(options.textSize);
  faceOptions.display = window ? FaceDisplay::window : FaceDisplay::none;
  if (options.frames) faceOptions.frames = *options.frames;
  faceOptions.recording = recording;
  faceOptions.viewer = viewer;
  FaceAppRunner runner(loop, clock, log, err, faceOptions);
  return appMain<DunvelWatchApp>(runner);
}

}  // namespace dunvel
