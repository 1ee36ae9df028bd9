#pragma once

#include <string>

namespace dunvel {

// A text shown exactly as given, never looked up as a localisation key: texts from the snapshot
// (game name, team names, question mode, tournament fields) and the plainly formatted clock.
struct Verbatim {
  std::string text;
};

}  // namespace dunvel
