#pragma once

#include <string_view>

namespace dunvel {

// The screen the router shows for a snapshot's screen name.
enum class ScreenRoute { hostRemote, scores, tournamentGlance, idle };

// Exact, case-sensitive comparison in a fixed order: "question" and "answer" give the host
// remote screen, "board" the scoreboard, "tournament" the tournament glance; anything else,
// the empty name and "Question" included, gives the idle screen.
ScreenRoute routeFor(std::string_view screen);

}  // namespace dunvel
