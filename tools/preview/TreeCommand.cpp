#include "preview/TreeCommand.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "app/ScreenPreview.h"
#include "preview/FaceSnapshot.h"
#include "render/FaceRenderer.h"
#include "render/LayoutJson.h"
#include "views/toolkit/ElementJson.h"

namespace dunvel {

nlohmann::json screenTreeJson(const GameState& state, bool reachable, Date now) {
  return elementToJson(ScreenPreview(state, hostReach(reachable), now).tree());
}

int runTreeCommand(const TreeOptions& options, PreviewIo& io) {
  int exitCode = kExitSuccess;
  const std::optional<FaceSnapshot> snapshot = readFaceSnapshot(options.snapshot, io, exitCode);
  if (!snapshot) return exitCode;
  nlohmann::json tree;
  if (options.layout) {
    const ScreenPreview preview(snapshot->state, hostReach(snapshot->reachable), snapshot->now);
    FaceRenderer renderer(parseFaceSize(options.size).value_or(FaceSize::mm45));
    setUpFace(renderer, options.textSize, snapshot->now);
    tree = layoutToJson(preview.tree(), renderer.layout(preview.tree()));
  } else {
    tree = screenTreeJson(snapshot->state, snapshot->reachable, snapshot->now);
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
  addFaceSnapshotOptions(*tree, options->snapshot);
  tree->add_flag("--layout", options->layout,
                 "Also give every element its \"frame\" in points on the face (origin top left, y "
                 "down) and every text its \"lines\" and whether it was \"truncated\"");
  addFaceSizeOption(*tree, options->size);
  addTextSizeOption(*tree, options->textSize);
  tree->callback([options, &io] { io.exitCode = runTreeCommand(*options, io); });
}

}  // namespace dunvel
