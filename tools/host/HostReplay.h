#pragma once

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <string>

namespace dunvel {

struct HostReplayOptions {
  // The recording, as dunvel-watch --record writes it.
  std::string file;
  // How much faster than recorded the gaps pass; 0 sends each frame as soon as the link takes it.
  double speed = 1;
  // Where on the recording's time line to start, in milliseconds. The recordings of a file are
  // played one after another on one time line, each starting where the one before ended.
  double fromMs = 0;
  std::string link;
  // How long the companion may take to take the frames sent, before the replay gives up on it.
  std::chrono::milliseconds timeout{5000};
  // This process's standard output, when that is where out writes: a reader that goes away
  // (a closed pipe) ends the replay. -1: nothing is watched.
  int outputFd = -1;
};

// dunvel-host replay: plays the host side of a recording against a running companion. The
// frames (contexts, messages, reachability) go out in their order with their gaps scaled by
// speed, questionOpenedAt moved along (see OpenedAtShift). Starting from a point later than 0
// first sends, at once, the snapshot and reachability the host had sent by then. Each command
// the companion sends now is printed on out as one JSON line; problems and the end go to err.
// Like demo it reconnects when the companion restarts and then sends the current snapshot
// again. Returns 0 once every frame went out (or on SIGINT/SIGTERM), 1 when the file cannot be
// read (a line that never ends is read no further), no companion is there at the start, or the
// commands cannot be printed. Warnings about the file name its lines.
int replayRecording(const HostReplayOptions& options, std::ostream& out, std::ostream& err);

}  // namespace dunvel
