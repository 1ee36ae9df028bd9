#include "state/TeamState.h"

#include "state/TextEquality.h"

namespace dunvel {

bool operator==(const TeamState& a, const TeamState& b) {
  return textEquals(a.id_, b.id_) && textEquals(a.name_, b.name_) && a.points_ == b.points_;
}

}  // namespace dunvel
