#include "app/watch/RunApp.h"

#include <ostream>

#include "app/AppRunner.h"
#include "app/DunvelWatchApp.h"
#include "app/HeadlessAppRunner.h"
#include "platform/device/LogHapticEngine.h"
#include "platform/runloop/MainRunLoop.h"
#include "platform/runloop/SystemClock.h"

namespace dunvel {

void runApp(MainRunLoop& loop, std::ostream& log) {
  SystemClock clock;
  LogHapticEngine haptics(log);
  // Headless: one line per screen change and one per haptic, until the loop is stopped.
  HeadlessAppRunner runner(loop, loop, clock, haptics, log, [&loop] { loop.run(); });
  appMain<DunvelWatchApp>(runner);
}

}  // namespace dunvel
