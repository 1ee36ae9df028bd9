#pragma once

#include "link/ConnectivityStore.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"

namespace dunvel {

// A one-look summary of the running tournament: its name beside a trophy, the round, the current
// pairing in a card and a status line; or a notice that no tournament is active. Read-only.
struct TournamentGlanceView {
  EnvironmentObject<ConnectivityStore> store;

  Node body() const;
};

}  // namespace dunvel
