#include "app/ScreenPreview.h"

#include "link/ConnectivityStore.h"
#include "link/SessionPlatform.h"
#include "platform/runloop/ManualRunLoop.h"
#include "views/ContentView.h"
#include "views/toolkit/HapticEngine.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

// A preview evaluates once and runs no timer, so nothing can tap a wrist.
class SilentHapticEngine final : public HapticEngine {
 public:
  void playHaptic(HapticType) override {}
};

// A store with no session: it starts nothing and sends nothing.
SessionPlatform noSession(ManualRunLoop& loop) {
  SessionPlatform platform;
  platform.isSupported = [] { return false; };
  platform.mainQueue = &loop;
  return platform;
}

EnvironmentValues environmentOf(ManualRunLoop& loop, HapticEngine& haptics) {
  EnvironmentValues environment;
  environment.setClock(loop).setTimerScheduler(loop).setCurrentDevice(haptics);
  return environment;
}

}  // namespace

struct ScreenPreview::Impl {
  Impl(const GameState& state, HostReach reach, Date now)
      : loop(now),
        store(noSession(loop)),
        graph(
            View(ContentView{}).environmentObject(store).environment(LayoutDirection::rightToLeft),
            environmentOf(loop, haptics), loop) {
    store.state = state;
    store.reachable = reach == HostReach::reachable;
    graph.evaluate();
    loop.drain();
  }

  ManualRunLoop loop;
  ConnectivityStore store;
  SilentHapticEngine haptics;
  ViewGraph graph;
};

ScreenPreview::ScreenPreview(const GameState& state, HostReach reach, Date now)
    : impl_(std::make_unique<Impl>(state, reach, now)) {}

ScreenPreview::~ScreenPreview() = default;

const Element& ScreenPreview::tree() const {
  return impl_->graph.tree();
}

}  // namespace dunvel
