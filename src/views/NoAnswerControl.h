#pragma once

#include "link/ConnectivityStore.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"

namespace dunvel {

// The answer phase's last control: tells the host app that nobody answered, then plays the
// failure haptic.
struct NoAnswerControl {
  EnvironmentObject<ConnectivityStore> store;

  Node body() const;
};

}  // namespace dunvel
