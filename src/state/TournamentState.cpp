#include "state/TournamentState.h"

#include "state/TextEquality.h"

namespace dunvel {

bool operator==(const TournamentState& a, const TournamentState& b) {
  return textEquals(a.name_, b.name_) && textEquals(a.roundLabel_, b.roundLabel_) &&
         textEquals(a.teamA_, b.teamA_) && textEquals(a.teamB_, b.teamB_) &&
         textEquals(a.status_, b.status_);
}

}  // namespace dunvel
