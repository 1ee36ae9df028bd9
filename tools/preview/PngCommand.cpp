#include "preview/PngCommand.h"

#include <cmath>
#include <memory>
#include <ostream>

#include "platform/runloop/SystemClock.h"
#include "preview/ScreenPreview.h"
#include "preview/SnapshotFile.h"
#include "render/FaceRenderer.h"
#include "state/ContextDecoding.h"

namespace dunvel {

int runPngCommand(const PngOptions& options, PreviewIo& io) {
  if (options.now && !std::isfinite(*options.now)) {
    io.err << "dunvel-preview: --now: " << *options.now
           << " is not a finite number of seconds since 1970 (see --help)\n";
    return kExitBadUsage;
  }
  SnapshotFileResult file = readSnapshotFile(options.path, io.in);
  if (!file.ok()) {
    io.err << "dunvel-preview: " << file.error << '\n';
    return kExitBadInput;
  }
  const Date now = options.now ? Date{*options.now} : SystemClock().now();
  const ScreenPreview preview(decodeGameState(file.dictionary), options.reachable, now);
  FaceRenderer renderer(parseFaceSize(options.size).value_or(FaceSize::mm45), options.scale);
  renderer.layout(preview.tree());
  renderer.paint();
  if (std::string problem = renderer.writePng(options.output); !problem.empty()) {
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
  png->add_option("FILE", options->path, "JSON snapshot, or - for standard input")->required();
  png->add_option("-o,--output", options->output, "The PNG file to write")->required();
  png->add_flag("--reachable", options->reachable,
                "The host app is reachable (the idle screen's status line); default: not");
  png->add_option("--now", options->now,
                  "The current date-time in seconds since 1970, which the question clock counts "
                  "from; default: the system clock");
  addFaceSizeOption(*png, options->size);
  png->add_option("--scale", options->scale, "Pixels per point, 0.25 to 8; default 2")
      ->check(CLI::Range(0.25, 8.0));
  png->callback([options, &io] { io.exitCode = runPngCommand(*options, io); });
}

}  // namespace dunvel
