#include "platform/recording/RecordingHooks.h"

#include <optional>

namespace dunvel {

std::function<void(const LinkTraffic&)> recordLinkTraffic(MainQueue& mainQueue,
                                                          RecordingWriter& recording) {
  return [&mainQueue, &recording](const LinkTraffic& traffic) {
    switch (traffic.kind) {
      case LinkTraffic::Kind::messageSent:
        // Already on main, inside the control's action.
        recording.command(traffic.message);
        return;
      case LinkTraffic::Kind::hostConnected:
        mainQueue.async([&recording] { recording.hostConnected(); });
        return;
      case LinkTraffic::Kind::hostDisconnected:
        mainQueue.async([&recording] { recording.hostDisconnected(); });
        return;
      case LinkTraffic::Kind::frameReceived:
        mainQueue.async([&recording, line = traffic.line] { recording.frame(line); });
        return;
    }
  };
}

std::function<void(const std::string&, const ContextDictionary&)> recordTaps(
    RecordingWriter& recording) {
  return [&recording](const std::string& action, const ContextDictionary& extra) {
    std::optional<std::string> teamId;
    const auto entry = extra.find("teamId");
    if (entry != extra.end()) {
      if (const auto* text = entry->second.get_if<std::string>()) teamId = *text;
    }
    recording.tap(action, teamId);
  };
}

}  // namespace dunvel
