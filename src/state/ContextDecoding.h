#pragma once

#include <optional>

#include "state/ContextValue.h"
#include "state/GameState.h"
#include "state/TeamState.h"

namespace dunvel {

// Pure, never fails, safe on any thread: a key missing or of the wrong kind gives its default.
GameState decodeGameState(const ContextDictionary& dictionary);

// No team when the dictionary has no text under "id".
std::optional<TeamState> decodeTeam(const ContextDictionary& dictionary);

}  // namespace dunvel
