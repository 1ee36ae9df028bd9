#pragma once

#include <optional>
#include <string>

#include "preview/FaceSnapshot.h"
#include "preview/PreviewCommand.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

struct PngOptions {
  FaceSnapshotOptions snapshot;
  std::string output;
  std::string size = "45mm";
  std::string textSize;
  double scale = 2.0;
  // Outline and number what a screen reader reads, with a legend beside the face.
  bool accessibility = false;
};

// `png FILE -o OUT.png [--reachable] [--now SECONDS] [--size …] [--text-size …]
// [--scale N]`: the face the
// companion shows for the snapshot, as a PNG. Returns the exit code.
int runPngCommand(const PngOptions& options, PreviewIo& io);

// Registers the `png` subcommand; running it sets io.exitCode.
void addPngCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
