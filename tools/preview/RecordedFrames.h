#pragma once

#include <optional>

#include "observation/Date.h"
#include "platform/recording/RecordingEvent.h"
#include "platform/recording/RecordingReader.h"
#include "preview/ReplaySession.h"
#include "state/ContextValue.h"

namespace dunvel {

// One snapshot of a recording as the companion showed it: the payload of a context or message
// frame, whether the host app was reachable then (as the replayed link reports it), and the
// moment it arrived.
struct RecordedFrame {
  ContextDictionary payload;
  bool reachable = false;
  Date moment;
  // Milliseconds since its recording started.
  double t = 0;
};

// The snapshots of a recording, one after the other, as film and verify draw them. Reads through
// reader, whose recording() and line() name the frame last returned.
class RecordedFrames {
 public:
  explicit RecordedFrames(RecordingReader& reader) : reader_(reader) {}

  // The next snapshot; false at the end of the recording (reader.failed() tells whether it could
  // be read to its end).
  bool next(RecordedFrame& frame);

 private:
  RecordingReader& reader_;
  std::optional<ReplaySession> link_;
  Date start_;
  RecordingEvent event_;
};

}  // namespace dunvel
