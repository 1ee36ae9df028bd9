#pragma once

#include <optional>
#include <string>

#include "observation/Date.h"
#include "preview/PreviewCommand.h"
#include "state/GameState.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

class FaceRenderer;

// What the subcommands that show a face take: FILE, --reachable and --now.
struct FaceSnapshotOptions {
  std::string path;
  bool reachable = false;
  // Seconds since 1970; the system clock when absent.
  std::optional<double> now;
};

void addFaceSnapshotOptions(CLI::App& command, FaceSnapshotOptions& options);

// The snapshot decoded, with the moment its face is shown at.
struct FaceSnapshot {
  GameState state;
  bool reachable = false;
  Date now;
};

// Checks --now, reads and decodes FILE. On failure writes one line to io.err, sets exitCode (2 for
// a --now that is not a finite number, 1 for a file that cannot be used) and returns nothing.
std::optional<FaceSnapshot> readFaceSnapshot(const FaceSnapshotOptions& options, PreviewIo& io,
                                             int& exitCode);

}  // namespace dunvel

namespace dunvel {

// Sets up a renderer for a face shown at now: the text size named by --text-size (the case's
// own when empty) and the time of now, in the zone of TZ, in the band at the top.
void setUpFace(FaceRenderer& renderer, const std::string& textSize, Date now);

}  // namespace dunvel
