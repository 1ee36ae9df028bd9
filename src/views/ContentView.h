#pragma once

#include "link/ConnectivityStore.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"

namespace dunvel {

// The root view: shows exactly one screen, chosen from the snapshot's screen name alone.
//
// The screens sit in a two-level choice, {host remote, scoreboard} against {tournament, idle},
// then one of each pair; "question" and "answer" share the host remote branch, so the screen
// keeps its clock and haptic state across that switch, and any other screen in between starts
// it afresh.
struct ContentView {
  EnvironmentObject<ConnectivityStore> store;

  Node body() const;
};

}  // namespace dunvel
