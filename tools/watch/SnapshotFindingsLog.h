#pragma once

#include <functional>
#include <iosfwd>

#include "link/MainQueue.h"
#include "state/ContextValue.h"

namespace dunvel {

// For SocketSession::Options::snapshotReceived: a snapshot the watch does not take as sent gets
// one line in the log, "snapshot: N findings: POINTER KIND, …", before the screen line it leads
// to; a snapshot without findings adds nothing. The snapshot is read on the link's thread,
// where it arrives; the line is written on the main thread, in turn with the log's other lines.
// mainQueue and log must outlive every call of what this returns.
std::function<void(const ContextDictionary&)> logSnapshotFindings(MainQueue& mainQueue,
                                                                  std::ostream& log);

}  // namespace dunvel
