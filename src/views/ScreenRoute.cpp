#include "views/ScreenRoute.h"

namespace dunvel {

ScreenRoute routeFor(std::string_view screen) {
  if (screen == "question" || screen == "answer") return ScreenRoute::hostRemote;
  if (screen == "board") return ScreenRoute::scores;
  if (screen == "tournament") return ScreenRoute::tournamentGlance;
  return ScreenRoute::idle;
}

std::string_view routeName(ScreenRoute route) {
  switch (route) {
    case ScreenRoute::hostRemote:
      return "host remote";
    case ScreenRoute::scores:
      return "scoreboard";
    case ScreenRoute::tournamentGlance:
      return "tournament";
    case ScreenRoute::idle:
      return "idle";
  }
  return "idle";
}

}  // namespace dunvel
