#pragma once

#include "link/ConnectivityStore.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"

namespace dunvel {

// The question phase's one control: asks the host app to reveal the answer, then clicks.
struct RevealControl {
  EnvironmentObject<ConnectivityStore> store;

  Node body() const;
};

}  // namespace dunvel
