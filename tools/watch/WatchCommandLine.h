#pragma once

#include <iosfwd>
#include <optional>

#include "watch/WatchOptions.h"

namespace dunvel {

// Reads dunvel-watch's command line. Returns the options, or nothing with exitStatus set: 0
// after --help, 2 for bad usage (the message already written to err).
std::optional<WatchOptions> parseWatchCommandLine(int argc, const char* const* argv,
                                                  std::ostream& out, std::ostream& err,
                                                  int& exitStatus);

// dunvel-watch: reads the command line, installs the Linux platform (the main run loop and the
// socket session, listening), then runs the app until SIGINT or SIGTERM (or, in a window,
// Escape or closing it) and removes the socket. Exit status: 0 after a clean end, 1 when the
// link, the window or the frames folder cannot be set up, 2 for bad usage.
int watchMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace dunvel
