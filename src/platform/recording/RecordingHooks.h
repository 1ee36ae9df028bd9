#pragma once

#include <functional>
#include <string>

#include "link/MainQueue.h"
#include "platform/link/LinkTraffic.h"
#include "platform/recording/RecordingWriter.h"
#include "state/ContextValue.h"

namespace dunvel {

// The companion's recording of a night, tied to where its events happen. Both must outlive
// every call of what they return.

// For SocketSession::Options::traffic. What arrives on the link's I/O thread is queued onto the
// main queue and written there, just before the store's own block for the same frame runs, so
// each line's time is the moment the companion acted on it. What the main thread sends is
// written at once, before the control's haptic.
std::function<void(const LinkTraffic&)> recordLinkTraffic(MainQueue& mainQueue,
                                                          RecordingWriter& recording);

// For SessionPlatform::observeSend: each send is one tap of a control; the team id of an award
// comes from its "teamId" entry.
std::function<void(const std::string&, const ContextDictionary&)> recordTaps(
    RecordingWriter& recording);

}  // namespace dunvel
