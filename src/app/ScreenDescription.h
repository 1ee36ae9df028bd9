#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "views/toolkit/Element.h"

namespace dunvel {

// What the companion shows, in a few words for the headless log: which screen, its texts in
// tree order and, on the host remote screen, the question clock and whether it has turned red.
struct ScreenDescription {
  // "question", "answer", "scoreboard", "tournament", "idle", or "none".
  std::string screen;
  // The texts shown, the question clock excepted.
  std::vector<std::string> texts;
  // The question clock text; empty on the other screens.
  std::string clock;
  bool overtime = false;
  // The teams listed: rows of the scoreboard, award controls of the answer screen.
  std::size_t teams = 0;

  // A log line holds at most this many bytes of texts; the rest are only counted.
  static constexpr std::size_t kMaxLineBytes = 400;

  // One line, such as "question: 1:00 (overtime) | 20 | سؤال سريع | اعرض الإجابة". Texts that
  // would take it past kMaxLineBytes are left out and counted, with the number of teams:
  // "scoreboard: ليلة | t1 | 0 | … (190608 more texts, 95305 teams)".
  std::string line() const;

  // Whether the screen changed in a way worth a log line: the clock's ticking alone is not
  // one (it would log every second), but its turning red is.
  bool sameScreenAs(const ScreenDescription& other) const {
    return screen == other.screen && texts == other.texts && overtime == other.overtime;
  }
};

// Describes the element tree that ContentView produced.
ScreenDescription describeScreen(const Element& tree);

}  // namespace dunvel
