#pragma once

#include "link/ConnectivityStore.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"

namespace dunvel {

// The scoreboard: the game's name over one card per team, in the order the host app sent them,
// with a dot that marks the team whose turn it is. Read-only.
struct ScoresView {
  EnvironmentObject<ConnectivityStore> store;

  Node body() const;
};

}  // namespace dunvel
