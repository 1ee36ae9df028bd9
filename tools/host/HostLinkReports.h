#pragma once

#include <functional>
#include <string>

#include "host/EndWaiter.h"
#include "host/HostConnection.h"
#include "host/LineWriter.h"
#include "state/ContextValue.h"

namespace dunvel {

// The handlers that listen and replay share for what their host connection reports, each run on
// the connection's thread.
struct HostLinkReports {
  // Prints each command as one JSON line; once they cannot be written, the command ends.
  static std::function<void(const ContextDictionary&)> printCommands(LineWriter& output,
                                                                     LineWriter& errors,
                                                                     EndWaiter& end);
  // Says what the companion reported. Another host holds the link: waiting would only be turned
  // away again, so the command ends.
  static std::function<void(HostProblem, const std::string&)> reportProblem(LineWriter& errors,
                                                                            EndWaiter& end);
  // Says why the link went down. Nobody there at the start is a mistake worth stopping for; a
  // companion that goes away later is waited for, since it is usually being restarted.
  static std::function<void(HostDisconnect, const std::string&)> reportDisconnect(
      LineWriter& errors, EndWaiter& end, const bool& everConnected);
};

}  // namespace dunvel
