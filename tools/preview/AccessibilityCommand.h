#pragma once

#include <cstddef>
#include <string>

#include "preview/FaceSnapshot.h"
#include "preview/PreviewCommand.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

// The elements a reading lists at most: the first in reading order. A board of a hundred
// thousand teams would be two hundred thousand lines, and its audit minutes.
constexpr std::size_t kMostElementsListed = 2000;

struct AccessibilityOptions {
  FaceSnapshotOptions snapshot;
  std::string size = "45mm";
  std::string textSize;
  bool json = false;
  bool audit = false;
};

// `a11y FILE`: what a screen reader reads of the face the companion shows for the snapshot, one
// element a line in reading order (number, role, label, traits, frame), or as JSON; with
// --audit, what a reviewer would flag, exit 1 when anything is. Returns the exit code.
int runAccessibilityCommand(const AccessibilityOptions& options, PreviewIo& io);

// Registers the `a11y` subcommand; running it sets io.exitCode.
void addAccessibilityCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
