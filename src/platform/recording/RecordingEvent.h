#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "observation/Date.h"
#include "state/ContextValue.h"
#include "views/toolkit/HapticType.h"
#include "wire/LinkFrame.h"

namespace dunvel {

// The longest line a recording may hold: a frame of the link's largest size and room around it.
inline constexpr std::size_t kMaxRecordingLineBytes = std::size_t{2} << 20;

// One line of a recording of a night: a JSON object with the time since the recording started
// ("t", milliseconds, to the microsecond), the wall-clock time ("wall", UTC, to the microsecond)
// and the kind of event ("event") with its own fields:
//   {"t":0.000,"wall":"2025-06-01T20:15:03.123456Z","event":"start","recorder":"dunvel-watch"}
//   {"t":…,"wall":…,"event":"connect"}                              a host came
//   {"t":…,"wall":…,"event":"disconnect"}                           the host went
//   {"t":…,"wall":…,"event":"frame","frame":{"type":"context",…}}   as received on the link
//   {"t":…,"wall":…,"event":"tap","control":"award","teamId":"t2"}  a control was tapped
//   {"t":…,"wall":…,"event":"command","message":{"action":"award","teamId":"t2"}}
//   {"t":…,"wall":…,"event":"haptic","haptic":"success","type":3}
//   {"t":…,"wall":…,"event":"screen","screen":"answer","shows":"answer: 0:04 | 10 | …"}
// A file may hold several recordings one after the other, each opened by its start line.
struct RecordingEvent {
  struct Parsed;
  enum class Kind { start, connect, disconnect, frame, tap, command, haptic, screen };

  Kind kind = Kind::start;
  double t = 0;      // milliseconds since the start line of its recording
  std::string wall;  // as written; read back only from start lines (see startWall)

  Date startWall;                     // start: the wall clock at the start of the recording
  std::string recorder;               // start: the program that recorded
  LinkFrame frame;                    // frame: a context, message or reachability frame
  std::string frameJson;              // frame, when writing: the frame exactly as received
  std::string control;                // tap: "reveal", "award" or "noAnswer"
  std::optional<std::string> teamId;  // tap: the team of an award
  ContextDictionary message;          // command: what the companion handed to the link
  int haptic = 0;                     // haptic: the haptic type's raw value
  std::string screen;                 // screen: the screen's name ("question", "scoreboard", …)
  std::string shows;                  // screen: the one-line description of what it shows

  // The event as one line, newline included. Texts that are not UTF-8 are written with
  // replacement characters; frameJson goes in verbatim (the link accepted it as JSON).
  std::string line() const;

  // Reads one line: the event, or else one line saying what is wrong (where in the line, for
  // bad JSON). The time is not checked against other lines.
  static Parsed parse(std::string_view line);

  static const char* kindName(Kind kind);
  // "notification", "success", "failure", "click", or "unknown" for another raw value.
  static const char* hapticName(int type);
};

// A recording's time as messages name it: "1234.500 ms".
std::string millisText(double t);

// The wall-clock time as a recording writes it, "2025-06-01T20:15:03.123456Z"; an empty text
// for a date before 1970 or after 9999 (or not finite).
std::string recordingWallText(Date date);
// Reads such a text back (fractions of 1 to 9 digits, or none); nothing when it is not one.
std::optional<Date> parseRecordingWallText(std::string_view text);

struct RecordingEvent::Parsed {
  std::optional<RecordingEvent> event;
  std::string problem;
};

}  // namespace dunvel
