#pragma once

#include <tuple>

#include "link/ConnectivityStore.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"
#include "views/toolkit/State.h"
#include "views/toolkit/TimerPublisher.h"
#include "observation/Date.h"

namespace dunvel {

// The screen the host holds while a question runs ("question" and "answer"): a running
// minutes-and-seconds clock, the question's points and mode, and the controls of the phase. At
// a full minute the clock turns red and the wrist is tapped once per question.
//
// now and buzzed belong to the screen's place in the tree: they survive re-evaluation and the
// switch between the two phases, and start afresh only when the screen is shown anew.
struct HostRemoteView {
  // now: the moment the screen is first created; tick: one date a second while subscribed.
  HostRemoteView(Date now, TimerPublisher tick) : now(now), buzzed(false), tick(std::move(tick)) {}

  EnvironmentObject<ConnectivityStore> store;
  // The current time as of the last tick.
  State<Date> now;
  // Whether the one-minute haptic has played for the current questionOpenedAt.
  State<bool> buzzed;
  TimerPublisher tick;

  auto states() { return std::tie(now, buzzed); }
  Node body() const;
};

}  // namespace dunvel
