#pragma once

#include <string>

#include "state/ContextValue.h"

namespace dunvel {

// One thing that crossed the socket link, as the companion's session saw it: what a recording
// of a night keeps.
struct LinkTraffic {
  enum class Kind {
    // A host was admitted (a second host that is turned away is not one).
    hostConnected,
    // The admitted host went away.
    hostDisconnected,
    // The host sent a context, message or reachability frame; line is that frame exactly as
    // received (without its newline). Lines the session refuses are not frames and do not show.
    frameReceived,
    // The companion handed message to the session to go out to the host.
    messageSent,
  };

  Kind kind = Kind::frameReceived;
  std::string line;           // frameReceived
  ContextDictionary message;  // messageSent
};

}  // namespace dunvel
