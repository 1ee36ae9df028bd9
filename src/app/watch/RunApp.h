#pragma once

#include <iosfwd>

namespace dunvel {

class MainRunLoop;
class RecordingWriter;

// Runs the companion's app on the main thread until the loop is stopped. Called once the Linux
// platform is installed (installSessionPlatform), so ConnectivityStore::shared() can be built.
// Headless: logs one line per screen change (the screen and its texts) and one per haptic.
// With a recording, screen changes and haptics also go there.
void runApp(MainRunLoop& loop, std::ostream& log, RecordingWriter* recording = nullptr);

}  // namespace dunvel
