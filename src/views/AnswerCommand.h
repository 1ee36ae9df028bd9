#pragma once

#include <string>

#include "link/ConnectivityStore.h"
#include "views/toolkit/HapticType.h"

namespace dunvel {

// The operation shared by the reveal and no-answer controls: sends action with no further
// entries through the store, then plays haptic on the current device. The haptic confirms the
// tap, not the delivery, so it plays whether or not the store found the host app reachable.
// Main thread, inside a button action (the device comes from the action's environment).
void sendCommand(ConnectivityStore& store, const std::string& action, HapticType haptic);

}  // namespace dunvel
