#pragma once

#include <iosfwd>

#include "watch/WatchOptions.h"

namespace dunvel {

class FaceViewer;
class HeadlessAppRunner;
class MainRunLoop;
class RecordingWriter;

// Runs the companion's app on the main thread until the loop is stopped or its window closed.
// Called once the Linux platform is installed (installSessionPlatform), so
// ConnectivityStore::shared() can be built. Logs one line per screen change (the screen and its
// texts) and one per haptic; shows the face in a window when there is a display and the options
// do not say headless, and writes frames when asked. With a recording, screen changes and
// haptics also go there. Returns the exit status: 0, or 1 when the window or the frames folder
// cannot be had (the reason written to err). With a browser view, the face is also shown to its
// viewers, and painted for them alone when nothing else shows it.
int runApp(MainRunLoop& loop, const WatchOptions& options, std::ostream& log, std::ostream& err,
           RecordingWriter* recording = nullptr, FaceViewer* viewer = nullptr);

// Notes each screen change of the runner in the recording.
void recordScreenChanges(HeadlessAppRunner& runner, RecordingWriter& recording);

}  // namespace dunvel
