#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/recording/RecordingEvent.h"
#include "preview/ReplayOutput.h"

namespace dunvel {

// Replays one recording through the real app, deterministically: the app runs on the manual run
// loop with a virtual clock that reads the recording's own wall-clock time, the recorded frames,
// host connections and taps are fed in at their recorded times, and the screen changes, commands
// and haptics the app produces are compared with the recorded ones. Each kind is compared in its
// order: the same text, at a time no further from the recorded one than the tolerance.
//
// Inputs recorded within a few milliseconds of each other with no output between them are fed
// together, at the time of the last: the companion's main queue may have taken them in one go
// (one evaluation for all) or one by one, and the recording does not tell. A screen the replay
// shows between two of them is matched if the recording has it and passed over if not.
class RecordingReplay {
 public:
  struct Options {
    double toleranceMs = 250;
  };

  // start is the recording's start line; onOutput sees each output of the app as it comes.
  RecordingReplay(const RecordingEvent& start, Options options,
                  std::function<void(const ReplayOutput&)> onOutput);
  ~RecordingReplay();
  RecordingReplay(const RecordingReplay&) = delete;
  RecordingReplay& operator=(const RecordingReplay&) = delete;

  // The next event of the recording, read from line. False once the replay has differed from
  // the recording (and from then on).
  bool feed(const RecordingEvent& event, std::size_t line);
  // The recording ended: lets the app run on for the tolerance, then checks that every recorded
  // output came. False on a difference.
  bool finish();

  // The first difference, one line without a file name; empty while there is none.
  const std::string& difference() const;
  // The line the first difference is reported at.
  std::size_t differenceLine() const;
  // Outputs found equal so far.
  std::size_t compared() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dunvel
