#include "views/ContentView.h"

#include <chrono>
#include <optional>

#include "views/HostRemoteView.h"
#include "views/IdleView.h"
#include "views/ScoresView.h"
#include "views/ScreenRoute.h"
#include "views/TournamentGlanceView.h"
#include "views/toolkit/Environment.h"
#include "views/toolkit/Timer.h"

namespace dunvel {
namespace {

Node hostRemote() {
  const EnvironmentValues& environment = Environment::current();
  // The initial now counts only when the screen's place is new; later evaluations keep the
  // place's state. The publisher compares equal to the previous evaluation's, so the screen's
  // subscription, and with it the one-second cadence, is kept.
  return View(HostRemoteView(environment.clock().now(),
                             Timer::publish(std::chrono::duration<double>(1.0), std::nullopt,
                                            environment.mainRunLoop(), RunLoopMode::common)
                                 .autoconnect()));
}

}  // namespace

Node ContentView::body() const {
  const ScreenRoute route = routeFor(store->state->screen);
  const bool gameScreen = route == ScreenRoute::hostRemote || route == ScreenRoute::scores;
  // Only the shown branch is built; the other side of each condition is left empty.
  Node shown;
  if (gameScreen) {
    shown = If(true, route == ScreenRoute::hostRemote ? If(true, hostRemote())
                                                      : If(false, Node(), View(ScoresView{})));
  } else {
    shown = If(false, Node(),
               route == ScreenRoute::tournamentGlance ? If(true, View(TournamentGlanceView{}))
                                                      : If(false, Node(), View(IdleView{})));
  }
  return Group({shown});
}

}  // namespace dunvel
