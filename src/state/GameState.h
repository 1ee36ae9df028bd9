#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/TeamState.h"
#include "state/TournamentState.h"

namespace dunvel {

// The snapshot of the game the host app pushed last. A value: copied and replaced whole.
// GameState{} is the default snapshot.
struct GameState {
  std::string screen = "idle";
  std::string gameName;
  std::vector<TeamState> teams;
  std::optional<std::string> turnTeamId;
  std::int64_t questionPoints = 0;
  std::string questionMode;
  // Seconds since 1970; not greater than 0 means no opening moment is known.
  double questionOpenedAt = 0.0;
  std::optional<TournamentState> tournament;

  // Field by field in declaration order; texts by canonical equivalence, questionOpenedAt as a
  // double (NaN unequal to itself, 0.0 == -0.0).
  friend bool operator==(const GameState& a, const GameState& b);
};

}  // namespace dunvel
