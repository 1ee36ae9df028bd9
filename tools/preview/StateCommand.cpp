#include "preview/StateCommand.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "preview/SnapshotFile.h"
#include "state/ContextDecoding.h"

namespace dunvel {

nlohmann::ordered_json gameStateJson(const GameState& state) {
  using Json = nlohmann::ordered_json;
  Json teams = Json::array();
  for (const TeamState& team : state.teams) {
    teams.push_back(Json{{"id", team.id()}, {"name", team.name()}, {"points", team.points()}});
  }
  Json tournament = nullptr;
  if (state.tournament) {
    const TournamentState& t = *state.tournament;
    tournament = Json{{"name", t.name()},
                      {"roundLabel", t.roundLabel()},
                      {"teamA", t.teamA()},
                      {"teamB", t.teamB()},
                      {"status", t.status()}};
  }
  Json out = Json::object();
  out["screen"] = state.screen;
  out["gameName"] = state.gameName;
  out["teams"] = std::move(teams);
  out["turnTeamId"] = state.turnTeamId ? Json(*state.turnTeamId) : Json(nullptr);
  out["questionPoints"] = state.questionPoints;
  out["questionMode"] = state.questionMode;
  out["questionOpenedAt"] = state.questionOpenedAt;
  out["tournament"] = std::move(tournament);
  return out;
}

int runStateCommand(const std::string& path, PreviewIo& io) {
  SnapshotFileResult file = readSnapshotFile(path, io.in);
  if (!file.ok()) {
    io.err << "dunvel-preview: " << file.error << '\n';
    return kExitBadInput;
  }
  // Texts from a JSON file are well-formed UTF-8 (the reader refuses anything else); `replace`
  // only guards against a decoded text that is not, instead of throwing.
  io.out << gameStateJson(decodeGameState(file.dictionary))
                .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
         << '\n';
  return kExitSuccess;
}

void addStateCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* state = app.add_subcommand(
      "state",
      "Print the decoded snapshot as one JSON object: the GameState fields in order, teams as\n"
      "{id, name, points}, turnTeamId and tournament null when absent, texts as received.");
  auto path = std::make_shared<std::string>();
  state->add_option("FILE", *path, "JSON snapshot, or - for standard input")->required();
  state->callback([path, &io] { io.exitCode = runStateCommand(*path, io); });
}

}  // namespace dunvel
