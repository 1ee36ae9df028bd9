#include "preview/VariantsCommand.h"

#include <cairo.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>

#include "cli/FaceSizeOption.h"
#include "cli/TextSizeOption.h"
#include "preview/SheetLabel.h"
#include "preview/ShownPreview.h"
#include "render/FaceRenderer.h"
#include "render/Owned.h"
#include "render/TimeText.h"

namespace dunvel {
namespace {

constexpr int kGap = 8;
constexpr int kLabelHeight = 20;

// A face's length in whole points; the cases' sizes are whole points, well inside an int.
int points(double length) {
  return static_cast<int>(std::lround(length));
}

}  // namespace

std::vector<VariantTile> variantTiles(const std::vector<FaceVariant>& variants) {
  int widest = 0;
  for (const FaceVariant& variant : variants)
    widest = std::max(widest, points(faceMetrics(variant.size).size.width));
  const int column = widest + kGap;
  std::vector<VariantTile> tiles;
  int y = kGap;
  for (std::size_t i = 0; i < variants.size();) {
    const FaceSize size = variants[i].size;
    const FaceMetrics face = faceMetrics(size);
    int x = kGap;
    for (; i < variants.size() && variants[i].size == size; ++i) {
      tiles.push_back(
          {size, variants[i].textSize, x, y, points(face.size.width), points(face.size.height)});
      x += column;
    }
    y += points(face.size.height) + kLabelHeight + kGap;
  }
  return tiles;
}

std::vector<VariantTile> variantTiles() {
  std::vector<FaceVariant> every;
  for (const FaceSize size : kAllFaceSizes) {
    for (const TextSize textSize : kAllTextSizes) every.push_back({size, textSize});
  }
  return variantTiles(every);
}

std::optional<std::vector<FaceVariant>> sheetVariants(const VariantsOptions& options,
                                                      std::string& problem) {
  const std::vector<std::string> all = {"all"};
  const bool neither = options.sizes.empty() && options.textSizes.empty();
  return chooseFaceVariants(options.sizes.empty() ? all : options.sizes,
                            neither ? all : options.textSizes, problem);
}

int runVariantsCommand(const VariantsOptions& options, PreviewIo& io) {
  int exitCode = kExitSuccess;
  const std::optional<FaceSnapshot> snapshot = readFaceSnapshot(options.snapshot, io, exitCode);
  if (!snapshot) return exitCode;
  std::string problem;
  const std::optional<std::vector<FaceVariant>> variants = sheetVariants(options, problem);
  if (!variants) {
    io.err << "dunvel-preview: variants: " << oneLine(problem) << '\n';
    return kExitBadUsage;
  }
  ShownPreview preview(snapshot->state, snapshot->reachable, snapshot->now);
  const std::vector<VariantTile> tiles = variantTiles(*variants);
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
      "Draw the face the companion shows for the snapshot on every case (" + faceSizeNames() +
          ";\n"
          "a row each) at every text size (xSmall to AX3; a column each), at one pixel per point,\n"
          "on one sheet with each tile labelled: where a name stops fitting shows at a glance.\n"
          "--sizes all alone draws every case at its own text size, one face a row, to compare\n"
          "the screens; --text-size T alone every case at T.");
  auto options = std::make_shared<VariantsOptions>();
  addFaceSnapshotOptions(*variants, options->snapshot);
  variants->add_option("-o,--output", options->output, "The PNG file to write")->required();
  variants
      ->add_option("--sizes", options->sizes,
                   "A case to draw, a row of the sheet: " + faceSizeNames("all") +
                       "; repeatable; default all")
      ->check(FaceSizeName(true))
      ->allow_extra_args(false);
  variants
      ->add_option("--text-size", options->textSizes,
                   textSizeHelp("; or all; repeatable; default all without --sizes, each "
                                "case's own with it"))
      ->check(TextSizeName() | CLI::IsMember({"all"}))
      ->allow_extra_args(false);
  variants->callback([options, &io] { io.exitCode = runVariantsCommand(*options, io); });
}

}  // namespace dunvel
