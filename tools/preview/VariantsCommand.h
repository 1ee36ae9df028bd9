#pragma once

#include <string>
#include <vector>

#include "preview/FaceSnapshot.h"
#include "preview/PreviewCommand.h"
#include "render/FaceSize.h"
#include "render/TextSize.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

struct VariantsOptions {
  FaceSnapshotOptions snapshot;
  std::string output;
};

// Where one face of the variants sheet stands, in pixels: the screen on one case at one text
// size, drawn at one pixel per point, its label under it.
struct VariantTile {
  FaceSize size;
  TextSize textSize;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The sheet's tiles: a row per case (41, 45, 49 mm), a column per text size, smallest first.
std::vector<VariantTile> variantTiles();

// `variants FILE -o OUT.png [--reachable] [--now SECONDS]`: one sheet with the screen at every
// case and text size, each tile labelled. Returns the exit code.
int runVariantsCommand(const VariantsOptions& options, PreviewIo& io);

// Registers the `variants` subcommand; running it sets io.exitCode.
void addVariantsCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
