#pragma once

#include <cstddef>
#include <string>

#include "preview/PreviewCommand.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

struct FilmOptions {
  std::string path;
  std::string folder;
  std::string size = "45mm";
  std::string textSize;
  double scale = 2.0;
  int columns = 8;
  // Frames drawn at most; the snapshots past them are counted and said, not drawn.
  std::size_t maxFrames = 10000;
};

// The contact sheet keeps at most this many frames: past it, every other one is dropped and only
// every second frame from then on is kept, so a night of any length fits on one picture (with
// the last frame always on it) and the film's memory stays bounded.
inline constexpr std::size_t kMaxContactSheetFrames = 120;

// `film FILE -o DIR [--size …] [--scale N] [--columns N]`: the screen after each snapshot of a
// recording, drawn at the recorded moment with the recorded reachability, as DIR/frame-NNNNNN.png,
// plus DIR/contact-sheet.png with the frames in a grid, each labelled with its number and its
// time since the recording started. Prints one line per frame. Exit code 0 when at least one
// frame was drawn, 1 when the recording cannot be read, holds no snapshot, or a file cannot be
// written; lines that cannot be used are skipped with a warning.
int runFilmCommand(const FilmOptions& options, PreviewIo& io);

// Registers the `film` subcommand; running it sets io.exitCode.
void addFilmCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
