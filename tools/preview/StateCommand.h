#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "preview/PreviewCommand.h"
#include "state/GameState.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

// The decoded snapshot as one JSON object: the fields as keys in declaration order, turnTeamId
// and tournament null when absent, each team as {id, name, points}, texts as received.
nlohmann::ordered_json gameStateJson(const GameState& state);

// `state FILE`: reads the snapshot, decodes it and prints gameStateJson. Returns the exit code.
int runStateCommand(const std::string& path, PreviewIo& io);

// Registers the `state` subcommand; running it sets io.exitCode.
void addStateCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
