#include "preview/TreeCommand.h"

#include <cmath>
#include <memory>
#include <ostream>

#include "link/ConnectivityStore.h"
#include "link/SessionPlatform.h"
#include "platform/runloop/ManualRunLoop.h"
#include "platform/runloop/SystemClock.h"
#include "preview/SnapshotFile.h"
#include "state/ContextDecoding.h"
#include "views/ContentView.h"
#include "views/toolkit/ElementJson.h"
#include "views/toolkit/HapticEngine.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

// A preview evaluates once and runs no timer, so nothing can tap a wrist.
class SilentHapticEngine final : public HapticEngine {
 public:
  void playHaptic(HapticType) override {}
};

}  // namespace

nlohmann::json screenTreeJson(const GameState& state, bool reachable, Date now) {
  ManualRunLoop loop(now);
  // A store with no session: it starts nothing and sends nothing.
  SessionPlatform platform;
  platform.isSupported = [] { return false; };
  platform.mainQueue = &loop;
  ConnectivityStore store(platform);
  store.state = state;
  store.reachable = reachable;

  SilentHapticEngine haptics;
  EnvironmentValues environment;
  environment.setClock(loop).setTimerScheduler(loop).setCurrentDevice(haptics);
  ViewGraph graph(
      View(ContentView{}).environmentObject(store).environment(LayoutDirection::rightToLeft),
      environment, loop);
  graph.evaluate();
  loop.drain();
  return elementToJson(graph.tree());
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
  // Texts from a JSON file are well-formed UTF-8; `replace` only guards the writer against one
  // that is not, instead of throwing.
  io.out << screenTreeJson(decodeGameState(file.dictionary), options.reachable, now)
                .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
         << '\n';
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
  tree->callback([options, &io] { io.exitCode = runTreeCommand(*options, io); });
}

}  // namespace dunvel
