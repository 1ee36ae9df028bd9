#include "app/watch/RunApp.h"

#include <cstdlib>
#include <ostream>

#include "app/AppRunner.h"
#include "app/DunvelWatchApp.h"
#include "app/HeadlessAppRunner.h"
#include "app/watch/FaceAppRunner.h"
#include "platform/device/LogHapticEngine.h"
#include "platform/runloop/MainRunLoop.h"
#include "platform/runloop/SystemClock.h"

namespace dunvel {

namespace {

bool hasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int runApp(MainRunLoop& loop, const WatchOptions& options, std::ostream& log, std::ostream& err) {
  SystemClock clock;
  const bool window = !options.headless && hasDisplay();
  if (!window && !options.frames) {
    // Nothing is drawn: one line per screen change and one per haptic, until the loop stops.
    LogHapticEngine haptics(log);
    HeadlessAppRunner runner(loop, loop, clock, haptics, log, [&loop] { loop.run(); });
    return appMain<DunvelWatchApp>(runner);
  }
  FaceAppRunner::Options faceOptions;
  faceOptions.size = parseFaceSize(options.size).value_or(FaceSize::mm45);
  faceOptions.scale = options.scale;
  faceOptions.display = window ? FaceDisplay::window : FaceDisplay::none;
  if (options.frames) faceOptions.frames = *options.frames;
  FaceAppRunner runner(loop, clock, log, err, faceOptions);
  return appMain<DunvelWatchApp>(runner);
}

}  // namespace dunvel
