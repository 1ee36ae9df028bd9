#include "preview/PngCommand.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "a11y/AccessibilityTree.h"
#include "cli/NumberOption.h"
#include "preview/AccessibilityCommand.h"
#include "preview/AccessibilitySheet.h"
#include "preview/FaceSnapshot.h"
#include "preview/ShownPreview.h"
#include "render/FaceRenderer.h"

namespace dunvel {

int runPngCommand(const PngOptions& options, PreviewIo& io) {
  int exitCode = kExitSuccess;
  const std::optional<FaceSnapshot> snapshot = readFaceSnapshot(options.snapshot, io, exitCode);
  if (!snapshot) return exitCode;
  // What a screen reader reads takes in every row, in sight or not: the whole list then.
  ShownPreview preview(
      snapshot->state, snapshot->reachable, snapshot->now,
      options.accessibility ? snapshot->state.teams.size() : ShownPreview::kFirstRows);
  FaceRenderer renderer(parseFaceSize(options.size).value_or(FaceSize::mm45), options.scale);
  setUpFace(renderer, options.textSize, snapshot->now);
  const FaceLayout& layout = preview.layout(renderer);
  renderer.paint();
  std::string problem;
  if (options.accessibility) {
    const AccessibilityReading reading =
        readAccessibility(layout, renderer.time(), kMostElementsListed);
    problem = writeAccessibilitySheet(renderer, reading.elements, reading.leftOut, options.output);
  } else {
    problem = renderer.writePng(options.output);
  }
  if (!problem.empty()) {
    io.err << "dunvel-preview: " << problem << '\n';
    return kExitBadInput;
  }
  return kExitSuccess;
}

void addPngCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* png = app.add_subcommand(
      "png",
      "Draw the face the companion shows for the snapshot, as a PNG: right to left, in the\n"
      "companion's fonts and colours (45mm at 2 pixels per point: 396x484 pixels).");
  auto options = std::make_shared<PngOptions>();
  addFaceSnapshotOptions(*png, options->snapshot);
  png->add_option("-o,--output", options->output, "The PNG file to write")->required();
  addFaceSizeOption(*png, options->size);
  addTextSizeOption(*png, options->textSize);
  png->add_option("--scale", options->scale, "Pixels per point, 0.25 to 8; default 2")
      ->check(FiniteNumber())
      ->check(CLI::Range(0.25, 8.0));
  png->add_flag("--a11y", options->accessibility,
                "Outline and number each element a screen reader reads, each in a colour of its "
                "own, with a legend of their numbers, roles and labels beside the face");
  png->callback([options, &io] { io.exitCode = runPngCommand(*options, io); });
}

}  // namespace dunvel
