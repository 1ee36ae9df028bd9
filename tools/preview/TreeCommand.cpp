#include "preview/TreeCommand.h"

#include <cmath>
#include <memory>
#include <ostream>

#include "platform/runloop/SystemClock.h"
#include "preview/ScreenPreview.h"
#include "preview/SnapshotFile.h"
#include "render/FaceRenderer.h"
#include "render/LayoutJson.h"
#include "state/ContextDecoding.h"
#include "views/toolkit/ElementJson.h"

namespace dunvel {

nlohmann::json screenTreeJson(const GameState& state, bool reachable, Date now) {
  return elementToJson(ScreenPreview(state, reachable, now).tree());
}

int runTreeCommand(const TreeOptions& options, PreviewIo& io) {
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
  const GameState state = decodeGameState(file.dictionary);
  nlohmann::json tree;
  if (options.layout) {
    const ScreenPreview preview(state, options.reachable, now);
    FaceRenderer renderer(parseFaceSize(options.size).value_or(FaceSize::mm45));
    tree = layoutToJson(preview.tree(), renderer.layout(preview.tree()));
  } else {
    tree = screenTreeJson(state, options.reachable, now);
  }
  // Texts from a JSON file are well-formed UTF-8; `replace` only guards the writer against one
  // that is not, instead of throwing.
  io.out << tree.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  return kExitSuccess;
}

void addTreeCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* tree = app.add_subcommand(
      "tree",
      "Print, as JSON, the element tree of the screen the companion shows for the snapshot:\n"
      "each element's kind, properties, modifiers in the order applied and children; texts as\n"
      "shown, with whether they are localisable; symbols by name.");
  auto options = std::make_shared<TreeOptions>();
  tree->add_option("FILE", options->path, "JSON snapshot, or - for standard input")->required();
  tree->add_flag("--reachable", options->reachable,
                 "The host app is reachable (the idle screen's status line); default: not");
  tree->add_option("--now", options->now,
                   "The current date-time in seconds since 1970, which the question clock counts "
                   "from; default: the system clock");
  tree->add_flag("--layout", options->layout,
                 "Also give every element its \"frame\" in points on the face (origin top left, y "
                 "down) and every text its \"lines\" and whether it was \"truncated\"");
  addFaceSizeOption(*tree, options->size);
  tree->callback([options, &io] { io.exitCode = runTreeCommand(*options, io); });
}

}  // namespace dunvel
