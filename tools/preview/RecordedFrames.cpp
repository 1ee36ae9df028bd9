#include "preview/RecordedFrames.h"

namespace dunvel {

bool RecordedFrames::next(RecordedFrame& frame) {
  while (reader_.next(event_)) {
    switch (event_.kind) {
      case RecordingEvent::Kind::start:
        link_.emplace([](const ContextDictionary&) {});
        start_ = event_.startWall;
        continue;
      case RecordingEvent::Kind::connect:
        link_->hostConnected();
        continue;
      case RecordingEvent::Kind::disconnect:
        link_->hostDisconnected();
        continue;
      case RecordingEvent::Kind::frame:
        link_->receive(event_.frame);
        break;
      default:
        continue;
    }
    if (event_.frame.type != LinkFrame::Type::context &&
        event_.frame.type != LinkFrame::Type::message) {
      continue;
    }
    frame.payload = std::move(event_.frame.payload);
    frame.reachable = link_->isReachable();
    frame.moment = Date{start_.timeIntervalSince1970 + event_.t / 1000};
    frame.t = event_.t;
    return true;
  }
  return false;
}

}  // namespace dunvel
