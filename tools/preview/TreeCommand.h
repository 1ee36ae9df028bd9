#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "observation/Date.h"
#include "preview/FaceSnapshot.h"
#include "preview/PreviewCommand.h"
#include "state/GameState.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

// The element tree that the companion's root view shows for a snapshot, as JSON: ContentView
// with the store and the right-to-left direction in its environment, and under it the one screen
// the router chose. reachable is the store's published flag; now is the current date-time, which
// the host remote screen's clock counts from.
nlohmann::json screenTreeJson(const GameState& state, bool reachable, Date now);

struct TreeOptions {
  FaceSnapshotOptions snapshot;
  // With the layout on a face of this size.
  bool layout = false;
  std::string size = "45mm";
  std::string textSize;
};

// `tree FILE [--reachable] [--now SECONDS]`: reads the snapshot, decodes it and prints
// screenTreeJson. Returns the exit code (2 for a --now that is not a finite number).
int runTreeCommand(const TreeOptions& options, PreviewIo& io);

// Registers the `tree` subcommand; running it sets io.exitCode.
void addTreeCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
