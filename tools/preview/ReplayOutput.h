#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace dunvel {

// Something the companion did that a recording keeps and a replay compares: a screen change, a
// command handed to the link, or a haptic. text is what is compared: the screen's one-line
// description, the command's JSON, or the haptic's name and raw type ("success (3)").
struct ReplayOutput {
  enum class Kind { screen, command, haptic };

  Kind kind = Kind::screen;
  double t = 0;  // milliseconds since the recording started
  std::string text;
  // The line of the recording it came from; 0 for what the replay produced.
  std::size_t line = 0;
  // A replayed screen between two inputs fed together: the companion shows it only when its
  // main queue happened to take them apart, so the recording may or may not have it.
  bool transient = false;
  // For a replayed screen, the other texts a recording may have for it instead: the screen
  // with its question clock a second earlier or later.
  std::vector<std::string> alsoMatches = {};

  static const char* kindName(Kind kind) {
    switch (kind) {
      case Kind::screen:
        return "screen";
      case Kind::command:
        return "command";
      case Kind::haptic:
        return "haptic";
    }
    return "output";
  }
};

}  // namespace dunvel
