#include "host/HostReplay.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>

#include "host/EndWaiter.h"
#include "host/HostConnection.h"
#include "host/HostExitCodes.h"
#include "host/HostLinkReports.h"
#include "host/LineWriter.h"
#include "host/OpenedAtShift.h"
#include "host/OutputWatch.h"
#include "platform/recording/RecordingReader.h"
#include "state/SnapshotJson.h"
#include "wire/LinkFrame.h"

namespace dunvel {

namespace {

using SteadyClock = std::chrono::steady_clock;

// As fast as the link takes them: lines are handed over in batches of this many, each batch
// written before the next is read from the file, so a large recording never sits in memory.
constexpr int kFastBatch = 64;

double wallNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// What the host has told the companion so far, for a companion that comes back: its last
// snapshot and, while the host app is in the background, that it is. Callable from any thread.
class HostState {
 public:
  void sent(const LinkFrame& frame, const std::string& line) {
    std::lock_guard lock(mutex_);
    if (frame.type == LinkFrame::Type::reachability) {
      background_ = !frame.reachable;
    } else {
      snapshot_ = line;
    }
  }
  std::string lines() const {
    std::lock_guard lock(mutex_);
    return snapshot_ + (background_ ? LinkFrame::reachabilityLine(false) : std::string());
  }

 private:
  mutable std::mutex mutex_;
  std::string snapshot_;
  bool background_ = false;
};

// A frame of the recording with where it sits on the replay's time line and the wall-clock
// moment it was recorded at.
struct TimedFrame {
  LinkFrame frame;
  double timeline = 0;  // milliseconds
  double moment = 0;    // seconds since 1970
};

// Plays the frames in order on the time line, anchored at the first one played.
class Player {
 public:
  Player(const HostReplayOptions& options, HostConnection& connection, HostState& state,
         EndWaiter& end)
      : options_(options), connection_(connection), state_(state), end_(end) {}

  // Sends frame when its time comes; false when the replay was ended meanwhile.
  bool play(const TimedFrame& timed) {
    if (!anchor_) anchor_ = SteadyClock::now();
    if (options_.speed > 0) {
      const double dueMs = (timed.timeline - options_.fromMs) / options_.speed;
      const auto due = *anchor_ + std::chrono::microseconds(static_cast<std::int64_t>(
                                      std::min(std::max(dueMs, 0.0), kLongestWaitMs) * 1000));
      if (end_.waitUntil(due)) return false;
    }
    send(timed, wallNow());
    if (options_.speed == 0 && ++batch_ == kFastBatch) {
      batch_ = 0;
      connection_.flush(options_.timeout);
    }
    return !end_.status();
  }

  // Sends what the host had sent by the starting point, at once: the clock of its question is
  // moved as if it were sent at the starting point itself.
  void catchUp(const std::optional<TimedFrame>& snapshot, const std::optional<TimedFrame>& away) {
    if (!anchor_) anchor_ = SteadyClock::now();
    const double now = wallNow();
    if (snapshot) {
      TimedFrame atStart = *snapshot;
      atStart.moment += (options_.fromMs - snapshot->timeline) / 1000;
      send(atStart, now);
    }
    if (away) send(*away, now);
  }

  std::size_t sent() const { return sent_; }

 private:
  // About 30 years: bounds a gap before it becomes a count of microseconds.
  static constexpr double kLongestWaitMs = 1e12;

  void send(const TimedFrame& timed, double sendAt) {
    std::string line;
    switch (timed.frame.type) {
      case LinkFrame::Type::context:
        line = LinkFrame::contextLine(shift_.apply(timed.frame.payload, timed.moment, sendAt));
        break;
      case LinkFrame::Type::message:
        line = LinkFrame::messageLine(shift_.apply(timed.frame.payload, timed.moment, sendAt));
        break;
      case LinkFrame::Type::reachability:
        line = LinkFrame::reachabilityLine(timed.frame.reachable);
        break;
      case LinkFrame::Type::error:
        return;
    }
    state_.sent(timed.frame, line);
    connection_.send(std::move(line));
    ++sent_;
  }

  const HostReplayOptions& options_;
  HostConnection& connection_;
  HostState& state_;
  EndWaiter& end_;
  OpenedAtShift shift_;
  std::optional<SteadyClock::time_point> anchor_;
  int batch_ = 0;
  std::size_t sent_ = 0;
};

// Plays the recording's frames from the starting point on, each at its time, until the end of the
// recording or of the replay.
void playRecording(RecordingReader& reader, const HostReplayOptions& options, Player& player,
                   EndWaiter& end) {
  // Before the starting point only the latest snapshot and reachability matter.
  std::optional<TimedFrame> snapshot;
  std::optional<TimedFrame> away;
  bool caughtUp = options.fromMs <= 0;
  double offset = 0;    // where the current recording starts on the time line
  double lastTime = 0;  // the time line at the last event
  Date startWall;
  RecordingEvent event;
  bool playing = true;
  while (playing && reader.next(event)) {
    if (event.kind == RecordingEvent::Kind::start) {
      offset = lastTime;
      startWall = event.startWall;
      continue;
    }
    lastTime = offset + event.t;
    if (event.kind != RecordingEvent::Kind::frame) continue;
    TimedFrame timed{std::move(event.frame), lastTime,
                     startWall.timeIntervalSince1970 + event.t / 1000};
    if (!caughtUp && timed.timeline < options.fromMs) {
      if (timed.frame.type == LinkFrame::Type::reachability) {
        if (timed.frame.reachable) {
          away.reset();
        } else {
          away = std::move(timed);
        }
      } else {
        snapshot = std::move(timed);
      }
      continue;
    }
    if (!caughtUp) {
      player.catchUp(snapshot, away);
      caughtUp = true;
    }
    playing = player.play(timed);
  }
  if (playing && !caughtUp && !end.status()) player.catchUp(snapshot, away);
}

}  // namespace

int replayRecording(const HostReplayOptions& options, std::ostream& out, std::ostream& err) {
  std::ifstream file(options.file, std::ios::binary);
  if (!file) {
    err << "dunvel-host: cannot read " << options.file << ": " << std::strerror(errno) << '\n';
    return kBadInput;
  }
  LineWriter output(out);
  LineWriter errors(err);
  EndWaiter end;
  HostState state;
  std::atomic<bool> connected = false;
  bool everConnected = false;  // I/O thread
  HostConnection connection(
      options.link, Reconnect::automatically,
      HostConnection::Handlers{
          [&] {
            if (everConnected) {
              // The companion restarted with nothing: it gets what it showed before.
              errors.write("dunvel-host: connected again; sending the current snapshot");
              if (std::string lines = state.lines(); !lines.empty()) connection.send(lines);
            }
            everConnected = true;
            connected = true;
            end.wake();
          },
          HostLinkReports::printCommands(output, errors, end),
          HostLinkReports::reportProblem(errors, end),
          HostLinkReports::reportDisconnect(errors, end, everConnected)});
  connection.start();
  OutputWatch watch(options.outputFd, [&] {
    errors.write("dunvel-host: the reader of the commands went away");
    end.finish(kBadInput);
  });
  if (std::optional<int> ended = end.waitFor([&] { return connected.load(); })) {
    connection.stop();
    return *ended;
  }

  RecordingReader reader(file, options.file, [&](const std::string& warning) {
    errors.write("dunvel-host: " + warning);
  });
  // Reading goes on through any number of unusable lines; a signal ends it there too.
  reader.stopWhen([&end] { return end.status().has_value(); });
  Player player(options, connection, state, end);
  playRecording(reader, options, player, end);

  const bool written = connection.flush(options.timeout);
  connection.stop();
  if (reader.failed()) {
    errors.write("dunvel-host: cannot read " + options.file + " to its end");
    return kBadInput;
  }
  if (std::optional<int> ended = end.status(); ended && *ended != kDone) return *ended;
  std::string summary =
      "dunvel-host: replayed " + std::to_string(player.sent()) + " frames of " + options.file;
  if (reader.warnings() > 0) {
    summary += " (" + std::to_string(reader.warnings()) + " lines skipped or corrected)";
  }
  if (!written) summary += "; the companion did not take the last of them in time";
  errors.write(summary);
  return kDone;
}

}  // namespace dunvel
