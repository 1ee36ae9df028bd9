#include "views/ScreenRoute.h"

namespace dunvel {

ScreenRoute routeFor(std::string_view screen) {
  if (screen == "question" || screen == "answer") return ScreenRoute::hostRemote;
  if (screen == "board") return ScreenRoute::scores;
  if (screen == "tournament") return ScreenRoute::tournamentGlance;
  return ScreenRoute::idle;
}

}  // namespace dunvel
