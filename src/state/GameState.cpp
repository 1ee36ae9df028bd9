#include "state/GameState.h"

#include "state/TextEquality.h"

namespace dunvel {

namespace {

bool optionalTextEquals(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a.has_value() || textEquals(*a, *b);
}

}  // namespace

bool operator==(const GameState& a, const GameState& b) {
  // Declaration order, stopping at the first difference. Vector and optional equality use the
  // records' own ==, which compares texts by canonical equivalence; the double == makes NaN
  // unequal to itself and 0.0 equal to -0.0.
  return textEquals(a.screen, b.screen) && textEquals(a.gameName, b.gameName) &&
         a.teams == b.teams && optionalTextEquals(a.turnTeamId, b.turnTeamId) &&
         a.questionPoints == b.questionPoints && textEquals(a.questionMode, b.questionMode) &&
         a.questionOpenedAt == b.questionOpenedAt && a.tournament == b.tournament;
}

}  // namespace dunvel
