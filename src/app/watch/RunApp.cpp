#include "app/watch/RunApp.h"

#include <optional>
#include <ostream>

#include "app/AppRunner.h"
#include "app/DunvelWatchApp.h"
#include "app/HeadlessAppRunner.h"
#include "platform/device/LogHapticEngine.h"
#include "platform/recording/HapticRecorder.h"
#include "platform/runloop/MainRunLoop.h"
#include "platform/runloop/SystemClock.h"

namespace dunvel {

void runApp(MainRunLoop& loop, std::ostream& log, RecordingWriter* recording) {
  SystemClock clock;
  LogHapticEngine logged(log);
  std::optional<HapticRecorder> recorded;
  if (recording != nullptr) recorded.emplace(logged, *recording);
  HapticEngine& haptics = recorded ? static_cast<HapticEngine&>(*recorded) : logged;
  // Headless: one line per screen change and one per haptic, until the loop is stopped.
  HeadlessAppRunner runner(loop, loop, clock, haptics, log, [&loop] { loop.run(); });
  if (recording != nullptr) {
    runner.onScreenChange([recording](const ScreenDescription& shown) {
      recording->screen(shown.screen, shown.line());
    });
  }
  appMain<DunvelWatchApp>(runner);
}

}  // namespace dunvel
