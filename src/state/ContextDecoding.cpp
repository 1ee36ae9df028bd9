#include "state/ContextDecoding.h"

#include "state/ContextKinds.h"

namespace dunvel {

namespace {

// Default texts of the host app's own language: "team" and the Arabic question mark.
constexpr const char* kDefaultTeamName = "\xD9\x81\xD8\xB1\xD9\x8A\xD9\x82";  // فريق
constexpr const char* kUnknownSide = "\xD8\x9F";                              // ؟

const ContextValue* find(const ContextDictionary& dictionary, std::string_view key) {
  const auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : &it->second;
}

std::string textOr(const ContextDictionary& dictionary, std::string_view key,
                   const char* fallback) {
  if (const ContextValue* value = find(dictionary, key)) {
    if (const std::string* text = acceptText(*value)) return *text;
  }
  return fallback;
}

std::optional<std::int64_t> integerAt(const ContextDictionary& dictionary, std::string_view key) {
  if (const ContextValue* value = find(dictionary, key)) return acceptInteger(*value);
  return std::nullopt;
}

TournamentState decodeTournament(const ContextDictionary& dictionary) {
  return TournamentState(textOr(dictionary, "name", ""), textOr(dictionary, "roundLabel", ""),
                         textOr(dictionary, "teamA", kUnknownSide),
                         textOr(dictionary, "teamB", kUnknownSide),
                         textOr(dictionary, "status", ""));
}

}  // namespace

std::optional<TeamState> decodeTeam(const ContextDictionary& dictionary) {
  const ContextValue* idValue = find(dictionary, "id");
  const std::string* id = idValue == nullptr ? nullptr : acceptText(*idValue);
  if (id == nullptr) return std::nullopt;
  return TeamState(*id, textOr(dictionary, "name", kDefaultTeamName),
                   integerAt(dictionary, "points").value_or(0));
}

GameState decodeGameState(const ContextDictionary& dictionary) {
  GameState state;
  state.screen = textOr(dictionary, "screen", "idle");
  state.gameName = textOr(dictionary, "gameName", "");
  if (const ContextValue* value = find(dictionary, "turnTeamId")) {
    if (const std::string* text = acceptText(*value)) state.turnTeamId = *text;
  }
  state.questionPoints = integerAt(dictionary, "questionPoints").value_or(0);
  state.questionMode = textOr(dictionary, "questionMode", "");
  if (const ContextValue* value = find(dictionary, "questionOpenedAt")) {
    state.questionOpenedAt = acceptFloating(*value).value_or(0.0);
  }
  if (const ContextValue* value = find(dictionary, "teams")) {
    if (const ContextArray* list = acceptDictionaryList(*value)) {
      state.teams.reserve(list->size());
      for (const ContextValue& element : *list) {
        if (auto team = decodeTeam(*element.get_if<ContextDictionary>())) {
          state.teams.push_back(std::move(*team));
        }
      }
    }
  }
  if (const ContextValue* value = find(dictionary, "tournament")) {
    if (const ContextDictionary* tournament = acceptDictionary(*value)) {
      state.tournament = decodeTournament(*tournament);
    }
  }
  return state;
}

}  // namespace dunvel
