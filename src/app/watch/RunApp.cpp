#include "app/watch/RunApp.h"

#include <ostream>
#include <sstream>

#include "link/ConnectivityStore.h"
#include "platform/runloop/MainRunLoop.h"

namespace dunvel {

namespace {

std::string describe(const GameState& state, bool reachable) {
  std::ostringstream line;
  line << "screen=" << state.screen;
  if (!state.gameName.empty()) line << " game=" << state.gameName;
  line << " teams=[";
  for (std::size_t index = 0; index < state.teams.size(); ++index) {
    const TeamState& team = state.teams[index];
    line << (index > 0 ? ", " : "") << team.id() << ' ' << team.name() << ' ' << team.points();
  }
  line << ']';
  if (state.turnTeamId) line << " turn=" << *state.turnTeamId;
  if (state.questionPoints != 0 || !state.questionMode.empty()) {
    line << " question=" << state.questionPoints << " points, " << state.questionMode;
  }
  if (state.tournament) {
    line << " tournament=" << state.tournament->name() << ", " << state.tournament->roundLabel();
  }
  line << " reachable=" << (reachable ? "yes" : "no");
  return line.str();
}

}  // namespace

void runApp(MainRunLoop& loop, std::ostream& log) {
  ConnectivityStore& store = ConnectivityStore::shared();
  // Announcements come before the new value is stored; the block queued here runs after the
  // assignment that announced, so it sees the new value.
  // Every assignment announces, equal values too, and state and reachable announce apart: only
  // lines that differ from the previous one are worth a reader's time.
  std::string lastLine;
  Cancellable logging = store.objectWillChange().sink([&] {
    loop.async([&] {
      std::string line = describe(store.state, store.reachable);
      if (line == lastLine) return;
      log << line << std::endl;
      lastLine = std::move(line);
    });
  });
  loop.run();
}

}  // namespace dunvel
