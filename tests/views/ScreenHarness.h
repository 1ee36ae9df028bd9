#pragma once

#include <string>
#include <vector>

#include "link/ConnectivityStore.h"
#include "platform/runloop/ManualRunLoop.h"
#include "state/GameState.h"
#include "support/RecordingHapticEngine.h"
#include "support/RecordingSession.h"
#include "views/ContentView.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/EnvironmentValues.h"
#include "views/toolkit/Node.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {

// The screens as the app installs them (ContentView with the store in its environment, right to
// left), on a manual run loop with a virtual clock, a recording session and a recording haptic
// engine. The test plays the main thread.
class ScreenHarness {
 public:
  static constexpr double kStart = 1'700'000'000.0;

  ScreenHarness()
      : loop(Date{kStart}),
        store(session.platform(loop)),
        graph(
            View(ContentView{}).environmentObject(store).environment(LayoutDirection::rightToLeft),
            environment(), loop) {
    graph.evaluate();
  }

  // Publishes a snapshot as the store does on the main queue, then runs what it queued.
  void show(const GameState& state) {
    store.state = state;
    loop.drain();
  }
  // Runs one main-queue block that publishes a snapshot, as the store's blocks do, and nothing
  // after it: the evaluation it asked for is still to come, so a timer can fall due first.
  void publishOnly(const GameState& state) {
    loop.async([this, state] { store.state = state; });
    loop.step();
  }
  void setReachable(bool reachable) {
    store.reachable = reachable;
    loop.drain();
  }

  const Element& tree() const { return graph.tree(); }
  // The screen the router shows: the one screen view under ContentView.
  std::string screen() const {
    for (const char* type : {"HostRemoteView", "ScoresView", "TournamentGlanceView", "IdleView"}) {
      if (tree().findView(type) != nullptr) return type;
    }
    return "none";
  }
  const Element& view(const char* type) const {
    const Element* found = tree().findView(type);
    if (found == nullptr) throw std::logic_error(std::string("no ") + type + " in the tree");
    return *found;
  }

  ManualRunLoop loop;
  RecordingSession session;
  RecordingHapticEngine haptics;
  ConnectivityStore store;
  ViewGraph graph;

 private:
  EnvironmentValues environment() {
    EnvironmentValues values;
    values.setClock(loop).setTimerScheduler(loop).setCurrentDevice(haptics);
    return values;
  }
};

inline GameState snapshot(std::string screen) {
  GameState state;
  state.screen = std::move(screen);
  return state;
}

}  // namespace dunvel
