#pragma once

#include <optional>
#include <string>
#include <vector>

#include "preview/FaceSnapshot.h"
#include "preview/FaceVariant.h"
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
  // --sizes and --text-size, each a name or "all", repeatable. Neither given: every case at
  // every text size. Cases alone: each at its own text size. Text sizes alone: every case.
  std::vector<std::string> sizes;
  std::vector<std::string> textSizes;
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

// The sheet's tiles for the variants in their order: a row per case, smallest first, its text
// sizes side by side; every column as wide as the widest case.
std::vector<VariantTile> variantTiles(const std::vector<FaceVariant>& variants);
// Every case (a row each) at every text size (a column each).
std::vector<VariantTile> variantTiles();

// The variants a sheet shows for --sizes and --text-size as VariantsOptions says; nothing, with
// problem set, for a name that is neither a case nor a text size.
std::optional<std::vector<FaceVariant>> sheetVariants(const VariantsOptions& options,
                                                      std::string& problem);

// `variants FILE -o OUT.png [--sizes C|all]… [--text-size T|all]… [--reachable] [--now
// SECONDS]`: one sheet with the screen at the chosen cases and text sizes, each tile labelled.
// Returns the exit code.
int runVariantsCommand(const VariantsOptions& options, PreviewIo& io);

// Registers the `variants` subcommand; running it sets io.exitCode.
void addVariantsCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
