#pragma once

#include <string>

#include "preview/PreviewCommand.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

struct ReplayOptions {
  std::string path;
  // How far apart in time an output of the replay and its recorded counterpart may be.
  double toleranceMs = 250;
};

// `replay FILE [--tolerance MS]`: replays each recording of the file through the real app
// (RecordingReplay), printing the screen changes, commands and haptics it produces. Exit code 0
// when every recording matches, 1 with the first difference (or a file that cannot be read or
// holds no recording), 2 for a tolerance that is not a finite number of 0 or more. Lines that
// cannot be used are skipped with a warning naming them; the replay goes on without them, but
// only a last line cut short still lets it end with 0.
int runReplayCommand(const ReplayOptions& options, PreviewIo& io);

// Registers the `replay` subcommand; running it sets io.exitCode.
void addReplayCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
