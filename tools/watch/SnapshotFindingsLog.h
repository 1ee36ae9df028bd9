#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/MainQueue.h"
#include "state/ContextValue.h"

namespace dunvel {

// For SocketSession::Options::snapshotReceived: a snapshot the watch does not take as sent gets
// one line in the log, "snapshot: N findings: POINTER KIND, …", before the screen line it leads
// to; a snapshot without findings adds nothing. The snapshot is read on the link's thread,
// where it arrives; the line is written on the main thread, in turn with the log's other lines.
// Each snapshot's findings, one line each ("POINTER: KIND: message", none for a clean one), also
// go to findings when given, on the main thread. mainQueue and log must outlive every call of
// what this returns.
std::function<void(const ContextDictionary&)> logSnapshotFindings(
    MainQueue& mainQueue, std::ostream& log,
    std::function<void(std::vector<std::string>)> findings = {});

}  // namespace dunvel
