#pragma once

#include <iosfwd>

namespace dunvel {

class MainRunLoop;

// Runs the companion's app on the main thread until the loop is stopped. Called once the Linux
// platform is installed (installSessionPlatform), so ConnectivityStore::shared() can be built.
// For now it logs one line per change of the store: the snapshot shown and reachability.
void runApp(MainRunLoop& loop, std::ostream& log);

}  // namespace dunvel
