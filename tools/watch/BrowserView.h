#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "link/MainQueue.h"
#include "platform/link/LinkTraffic.h"
#include "platform/link/ViewerHub.h"
#include "platform/view/FaceViewer.h"
#include "state/ContextValue.h"
#include "watch/WatchOptions.h"

namespace dunvel {

class RecordingWriter;

// The browser view of --view: its viewers' hub, with the page it serves, and the face's side of
// it. Both are made before the link, so that the link's hooks can reach them.
struct BrowserView {
  std::unique_ptr<ViewerHub> hub;
  std::unique_ptr<FaceViewer> viewer;
};

// Reads the page from the data folder and makes the view, its events handed to the main queue
// and its log lines written to log ("view: …"). Empty, or the line saying why it cannot be had.
std::string makeBrowserView(const WatchOptions& options, MainQueue& queue, std::ostream& log,
                            BrowserView& view);

// For SocketSession::Options::traffic: the recording's hook, and the view's panel told on the
// main queue whether a host holds the link. Empty when there is neither.
std::function<void(const LinkTraffic&)> linkTrafficHook(MainQueue& queue,
                                                        RecordingWriter* recording,
                                                        FaceViewer* viewer);

// Each snapshot's findings for the view's panel, on the main thread; empty without a view.
std::function<void(std::vector<std::string>)> findingsHook(FaceViewer* viewer);

// For SessionPlatform::observeSend: each command the face sends, in the recording as a tap, and
// in the log ("sent: award t2") for the view's panel. Empty when there is neither.
std::function<void(const std::string&, const ContextDictionary&)> sendHook(
    RecordingWriter* recording, FaceViewer* viewer, std::ostream& log);

}  // namespace dunvel
