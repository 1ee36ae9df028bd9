#include "preview/VariantsCommand.h"

#include <cairo.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>

#include "preview/SheetLabel.h"
#include "preview/ShownPreview.h"
#include "render/FaceRenderer.h"
#include "render/Owned.h"
#include "render/TimeText.h"

namespace dunvel {
namespace {

constexpr int kGap = 8;
constexpr int kLabelHeight = 20;
constexpr FaceSize kCases[] = {FaceSize::mm41, FaceSize::mm45, FaceSize::mm49};

int points(double length) {
  return static_cast<int>(std::lround(length));
}

int widestCase() {
  int widest = 0;
  for (const FaceSize size : kCases)
    widest = std::max(widest, points(faceMetrics(size).size.width));
  return widest;
}

}  // namespace

std::vector<VariantTile> variantTiles() {
  std::vector<VariantTile> tiles;
  const int column = widestCase() + kGap;
  int y = kGap;
  for (const FaceSize size : kCases) {
    const FaceMetrics face = faceMetrics(size);
    int x = kGap;
    for (const TextSize textSize : kAllTextSizes) {
      tiles.push_back({size, textSize, x, y, points(face.size.width), points(face.size.height)});
      x += column;
    }
    y += points(face.size.height) + kLabelHeight + kGap;
  }
  return tiles;
}

int runVariantsCommand(const VariantsOptions& options, PreviewIo& io) {
  int exitCode = kExitSuccess;
  const std::optional<FaceSnapshot> snapshot = readFaceSnapshot(options.snapshot, io, exitCode);
  if (!snapshot) return exitCode;
  ShownPreview preview(snapshot->state, snapshot->reachable, snapshot->now);
  const std::vector<VariantTile> tiles = variantTiles();
  int width = 0;
  int height = 0;
  for (const VariantTile& tile : tiles) {
    width = std::max(width, tile.x + tile.width + kGap);
    height = std::max(height, tile.y + tile.height + kLabelHeight + kGap);
  }
  const Owned<cairo_surface_t> sheet(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  const Owned<cairo_t> cr(cairo_create(sheet.get()));
  cairo_set_source_rgb(cr.get(), 0.16, 0.16, 0.17);
  cairo_paint(cr.get());
  std::unique_ptr<FaceRenderer> renderer;
  for (const VariantTile& tile : tiles) {
    if (!renderer || renderer->face().size.width != faceMetrics(tile.size).size.width) {
      renderer = std::make_unique<FaceRenderer>(tile.size, 1.0);
      renderer->setTime(timeText(snapshot->now.timeIntervalSince1970));
    }
    renderer->setTextSize(tile.textSize);
    preview.layout(*renderer);
    cairo_set_source_surface(cr.get(), renderer->paint(), tile.x, tile.y);
    cairo_paint(cr.get());
    std::string label(faceSizeName(tile.size));
    label += "  ";
    label += textSizeName(tile.textSize);
    if (tile.textSize == faceMetrics(tile.size).textSize) label += "  (default)";
    drawSheetLabel(cr.get(), renderer->textEngine(), label, tile.x, tile.y + tile.height + 3,
                   tile.width);
  }
  cairo_surface_flush(sheet.get());
  if (std::string problem = FaceRenderer::writePng(sheet.get(), options.output); !problem.empty()) {
    io.err << "dunvel-preview: " << oneLine(problem) << '\n';
    return kExitBadInput;
  }
  return kExitSuccess;
}

void addVariantsCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* variants = app.add_subcommand(
      "variants",
      "Draw the face the companion shows for the snapshot on every case (41mm, 45mm, 49mm; a\n"
      "row each) at every text size (xSmall to AX3; a column each), at one pixel per point, on\n"
      "one sheet with each tile labelled: where a name stops fitting shows at a glance.");
  auto options = std::make_shared<VariantsOptions>();
  addFaceSnapshotOptions(*variants, options->snapshot);
  variants->add_option("-o,--output", options->output, "The PNG file to write")->required();
  variants->callback([options, &io] { io.exitCode = runVariantsCommand(*options, io); });
}

}  // namespace dunvel
