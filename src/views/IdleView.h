#pragma once

#include "link/ConnectivityStore.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"

namespace dunvel {

// Shown while no game screen applies: the app's name under a game-controller symbol, and one
// status line that says whether the host app on the phone can be reached. Reads only
// store.reachable.
struct IdleView {
  EnvironmentObject<ConnectivityStore> store;

  Node body() const;
};

}  // namespace dunvel
