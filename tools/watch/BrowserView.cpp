#include "watch/BrowserView.h"

#include <ostream>
#include <stdexcept>
#include <utility>

#include "files/DataDir.h"
#include "platform/recording/RecordingHooks.h"
#include "platform/view/ViewPage.h"
#include "render/FaceSize.h"
#include "state/OneLine.h"

namespace dunvel {

std::string makeBrowserView(const WatchOptions& options, MainQueue& queue, std::ostream& log,
                            BrowserView& view) {
  ViewPage page;
  try {
    page = readViewPage(dataDir());
  } catch (const std::runtime_error& error) {
    return oneLine(error.what());
  }
  if (!page.problem.empty()) return page.problem;
  const FaceMetrics face = faceMetrics(parseFaceSize(options.size).value_or(FaceSize::mm45));
  ViewerHub::Options hub;
  hub.files = std::move(page.files);
  hub.faceWidth = face.size.width;
  hub.faceHeight = face.size.height;
  view.hub = std::make_unique<ViewerHub>(std::move(hub));
  view.viewer = std::make_unique<FaceViewer>(*view.hub, queue);
  view.hub->setEvents(view.viewer->events(
      [&log](const std::string& line) { log << "view: " << line << std::endl; }));
  return {};
}

std::function<void(const LinkTraffic&)> linkTrafficHook(MainQueue& queue,
                                                        RecordingWriter* recording,
                                                        FaceViewer* viewer) {
  std::function<void(const LinkTraffic&)> recorded;
  if (recording != nullptr) recorded = recordLinkTraffic(queue, *recording);
  if (viewer == nullptr) return recorded;
  return [recorded, viewer, &queue](const LinkTraffic& traffic) {
    if (recorded) recorded(traffic);
    const bool came = traffic.kind == LinkTraffic::Kind::hostConnected;
    if (came || traffic.kind == LinkTraffic::Kind::hostDisconnected) {
      queue.async([viewer, came] { viewer->linkHeld(came); });
    }
  };
}

std::function<void(std::vector<std::string>)> findingsHook(FaceViewer* viewer) {
  if (viewer == nullptr) return {};
  return [viewer](std::vector<std::string> lines) { viewer->findings(std::move(lines)); };
}

std::function<void(const std::string&, const ContextDictionary&)> sendHook(
    RecordingWriter* recording, FaceViewer* viewer, std::ostream& log) {
  std::function<void(const std::string&, const ContextDictionary&)> tapped;
  if (recording != nullptr) tapped = recordTaps(*recording);
  if (viewer == nullptr) return tapped;
  return [tapped, &log](const std::string& action, const ContextDictionary& extra) {
    if (tapped) tapped(action, extra);
    std::string line = "sent: " + action;
    const auto team = extra.find("teamId");
    if (team != extra.end()) {
      if (const auto* id = team->second.get_if<std::string>()) line += " " + oneLine(*id);
    }
    log << line << std::endl;
  };
}

}  // namespace dunvel
