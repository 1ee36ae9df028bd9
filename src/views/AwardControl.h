#pragma once

#include "link/ConnectivityStore.h"
#include "state/TeamState.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"

namespace dunvel {

// One per team in the answer phase: awards the question to that team (by its id alone), then
// plays the success haptic. Shows the team's name and points.
struct AwardControl {
  EnvironmentObject<ConnectivityStore> store;
  TeamState team;

  Node body() const;
};

}  // namespace dunvel
