#include "explain/SnapshotExplain.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string_view>

#include "explain/KeySuggestion.h"
#include "explain/ValueDescription.h"
#include "observation/Date.h"
#include "state/ContextKinds.h"
#include "state/TextEquality.h"
#include "views/QuestionClock.h"
#include "views/ScreenRoute.h"

namespace dunvel {
namespace {

constexpr std::array<std::string_view, 8> kSnapshotKeys = {
    "screen",       "gameName",         "teams",     "turnTeamId", "questionPoints",
    "questionMode", "questionOpenedAt", "tournament"};
constexpr std::array<std::string_view, 3> kTeamKeys = {"id", "name", "points"};
constexpr std::array<std::string_view, 5> kTournamentKeys = {"name", "roundLabel", "teamA", "teamB",
                                                             "status"};
constexpr std::array<std::string_view, 5> kScreens = {"question", "answer", "board", "tournament",
                                                      "idle"};

// An opening moment before this (2001-09-09) is no moment a question of today was opened at:
// more likely a count of seconds from somewhere else, such as how long the question has run.
constexpr double kEarliestLikelyMoment = 1e9;
// An opening moment this far past the watch's clock is not a clock running a little ahead.
constexpr double kFutureSlack = 24 * 60 * 60;

std::string pointerToken(std::string_view token) {
  std::string out;
  out.reserve(token.size());
  for (char c : token) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

std::string child(const std::string& pointer, std::string_view token) {
  return pointer + "/" + pointerToken(token);
}

std::string child(const std::string& pointer, std::size_t index) {
  return pointer + "/" + std::to_string(index);
}

// The moment in UTC, for a message: "1970-01-01 00:02:03 UTC".
std::string utcText(double seconds) {
  if (!(seconds > -1e15 && seconds < 1e15)) return numberText(seconds) + " seconds since 1970";
  const auto whole = static_cast<std::time_t>(std::floor(seconds));
  std::tm parts{};
  if (gmtime_r(&whole, &parts) == nullptr) return numberText(seconds) + " seconds since 1970";
  char buffer[64];
  const std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return std::string(buffer, length);
}

std::string clockAt(double now, double openedAt, bool questionScreen) {
  const std::int64_t elapsed = elapsedSeconds(Date{now}, openedAt);
  std::string text =
      questionScreen ? "the clock shows " : "on a question screen the clock would show ";
  text += clockText(elapsed);
  if (overtime(elapsed)) text += ", in red, run over";
  return text;
}

// The mend for a value that should have been text.
std::string sendAsText(const ContextValue& value) {
  if (auto text = textOfNumber(value)) return "; send it as text: \"" + *text + "\"";
  return "";
}

// The mend for a value that should have been a number.
std::string sendAsNumber(const ContextValue& value) {
  if (const std::string* text = acceptText(value)) {
    if (auto number = numberInText(*text)) return "; send the number " + *number + ", unquoted";
  }
  return "";
}

class Explainer {
 public:
  Explainer(const ContextDictionary& snapshot, double now, std::size_t most)
      : snapshot_(snapshot), now_(now), most_(most) {
    // What the checks across keys need of the decoded snapshot, read by the decoder's own
    // acceptance rules without decoding it whole: the screen shown, and the ids of the teams
    // the watch keeps. A snapshot is explained on the link's thread as it arrives.
    if (const auto screen = snapshot.find("screen"); screen != snapshot.end()) {
      if (const std::string* name = acceptText(screen->second))
        questionScreen_ = routeFor(*name) == ScreenRoute::hostRemote;
    }
    if (const auto teams = snapshot.find("teams"); teams != snapshot.end()) {
      if (const ContextArray* list = acceptDictionaryList(teams->second)) {
        for (const ContextValue& team : *list) {
          const ContextDictionary& fields = *team.get_if<ContextDictionary>();
          const auto id = fields.find("id");
          if (id == fields.end()) continue;
          if (const std::string* text = acceptText(id->second)) teamIds_.push_back(*text);
        }
      }
    }
  }

  SnapshotExplanation run() && {
    for (const auto& [key, value] : snapshot_) topLevel(key, value);
    if (snapshot_.find("questionOpenedAt") == snapshot_.end()) openedAtMissing();
    return {std::move(findings_), leftOut_};
  }

 private:
  void add(std::string pointer, const char* kind, std::string message) {
    if (findings_.size() == most_) {
      ++leftOut_;
      return;
    }
    findings_.push_back({std::move(pointer), kind, std::move(message)});
  }

  void wrongKind(const std::string& pointer, const ContextValue& value, const char* kind,
                 const std::string& instead, const std::string& mend) {
    add(pointer, "wrong-kind",
        describeValue(value) + " is not " + kind + ": the watch " + instead + mend);
  }

  void unknownKey(const std::string& pointer, std::string_view key,
                  std::span<const std::string_view> known, const char* where) {
    std::string message = "the watch reads no key " + quoted(key) + " " + where + " and ignores it";
    if (auto meant = closestKey(key, known)) {
      message +=
          "; did you mean \"" + std::string(*meant) + "\"? Keys match exactly, case included";
    }
    add(pointer, "unknown-key", std::move(message));
  }

  void topLevel(const std::string& key, const ContextValue& value) {
    const std::string pointer = child("", key);
    if (key == "screen") return screen(pointer, value);
    if (key == "gameName") return text(pointer, value, "shows no game name");
    if (key == "teams") return teams(pointer, value);
    if (key == "turnTeamId") return turnTeam(pointer, value);
    if (key == "questionPoints") return points(pointer, value, "shows 0 points at stake");
    if (key == "questionMode") return text(pointer, value, "shows no question mode");
    if (key == "questionOpenedAt") return openedAt(pointer, value);
    if (key == "tournament") return tournament(pointer, value);
    unknownKey(pointer, key, kSnapshotKeys, "in a snapshot");
  }

  void text(const std::string& pointer, const ContextValue& value, const std::string& instead) {
    if (acceptText(value) == nullptr) wrongKind(pointer, value, "text", instead, sendAsText(value));
  }

  void screen(const std::string& pointer, const ContextValue& value) {
    const std::string* name = acceptText(value);
    if (name == nullptr) {
      return wrongKind(pointer, value, "text", "takes \"idle\" and shows the idle screen",
                       sendAsText(value));
    }
    if (*name == "idle" || routeFor(*name) != ScreenRoute::idle) return;
    std::string message = (name->empty() ? std::string("the empty text") : quoted(*name)) +
                          " is not a screen the watch shows: it shows the idle screen instead";
    if (auto meant = closestKey(*name, kScreens)) {
      message += "; did you mean \"" + std::string(*meant) + "\"?";
    } else {
      message +=
          " (the screens are \"question\", \"answer\", \"board\", \"tournament\" and \"idle\")";
    }
    add(pointer, "unknown-screen", std::move(message));
  }

  // An integer field: questionPoints, or a team's points.
  void points(const std::string& pointer, const ContextValue& value, const std::string& instead) {
    if (acceptInteger(value)) return;
    const bool number =
        value.get_if<std::int64_t>() || value.get_if<std::uint64_t>() || value.get_if<double>();
    if (!number) return wrongKind(pointer, value, "a number", instead, sendAsNumber(value));
    const double* floating = value.get_if<double>();
    const bool fraction = floating != nullptr && std::isfinite(*floating) &&
                          std::abs(*floating) < 9.2e18 && std::trunc(*floating) != *floating;
    add(pointer, "out-of-range",
        describeValue(value) +
            (fraction ? " is not a whole number: the watch " + instead + "; send whole points"
                      : " is beyond the 64-bit signed range: the watch " + instead));
  }

  void turnTeam(const std::string& pointer, const ContextValue& value) {
    const std::string* id = acceptText(value);
    if (id == nullptr) {
      return wrongKind(pointer, value, "text", "marks no team's turn", sendAsText(value));
    }
    for (std::string_view teamId : teamIds_) {
      if (textEquals(teamId, *id)) return;
    }
    std::string message = quoted(*id) + " is the id of no team in \"teams\"";
    message += teamIds_.empty() ? " (the watch has none)" : "";
    message += ": the scoreboard marks no team's turn";
    add(pointer, "no-such-team", std::move(message));
  }

  void openedAt(const std::string& pointer, const ContextValue& value) {
    const std::optional<double> moment = acceptFloating(value);
    if (!moment) {
      const bool number = value.get_if<std::int64_t>() || value.get_if<std::uint64_t>();
      if (number) {
        return add(pointer, "out-of-range",
                   describeValue(value) +
                       " has no exact 64-bit floating value: the watch knows no opening moment, "
                       "and the clock counts no time; send seconds since 1970");
      }
      return wrongKind(pointer, value, "a number",
                       "knows no opening moment, and the clock counts no time",
                       sendAsNumber(value));
    }
    const double at = *moment;
    if (!(at > 0)) {
      if (questionScreen()) {
        add(pointer, "suspicious-time",
            numberText(at) + " on a question screen means no opening moment is known: " +
                clockAt(now_, at, questionScreen()) +
                " and the wrist is never tapped; send the moment the "
                "question opened, in seconds since 1970");
      }
      return;
    }
    if (at > now_ + kFutureSlack) {
      const double seconds = at / 1000;
      if (seconds >= kEarliestLikelyMoment && seconds <= now_ + kFutureSlack) {
        return add(pointer, "suspicious-time",
                   numberText(at) + " is " + utcText(at) +
                       ", far ahead of now: likely milliseconds. " +
                       clockAt(now_, at, questionScreen()) +
                       " and never runs; send seconds since 1970: " + numberText(seconds));
      }
      return add(pointer, "suspicious-time",
                 numberText(at) + " is " + utcText(at) +
                     ", ahead of the watch's clock by more "
                     "than a day: " +
                     clockAt(now_, at, questionScreen()) + " until then");
    }
    if (at < kEarliestLikelyMoment) {
      add(pointer, "suspicious-time",
          numberText(at) + " is " + utcText(at) +
              ", long before any question of today: " + clockAt(now_, at, questionScreen()) +
              "; send the moment the question opened, in seconds since "
              "1970, not how long it has been open");
    }
  }

  void openedAtMissing() {
    if (!questionScreen()) return;
    add("/questionOpenedAt", "suspicious-time",
        "no opening moment on a question screen: " + clockAt(now_, 0, true) +
            " and the wrist is never tapped; send \"questionOpenedAt\", the moment the question "
            "opened in seconds since 1970");
  }

  bool questionScreen() const { return questionScreen_; }

  void teams(const std::string& pointer, const ContextValue& value) {
    const auto* list = value.get_if<ContextArray>();
    if (list == nullptr) {
      std::string message = describeValue(value) + " is not a list: the watch shows no teams";
      if (value.get_if<ContextDictionary>()) message += "; send a list of team objects, [{...}]";
      return add(pointer, "teams-rejected", std::move(message));
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
      if ((*list)[i].get_if<ContextDictionary>() == nullptr) {
        return add(child(pointer, i), "teams-rejected",
                   describeValue((*list)[i]) +
                       " is not a team object: the watch refuses the "
                       "whole list and shows none of its " +
                       std::to_string(list->size()) + " teams; send only team objects");
      }
    }
    // Where each id was first seen, for ids given twice.
    std::map<std::string_view, std::size_t> firstWithId;
    for (std::size_t i = 0; i < list->size(); ++i) {
      const std::string at = child(pointer, i);
      const auto& team = *(*list)[i].get_if<ContextDictionary>();
      this->team(at, team);
      const auto id = team.find("id");
      if (id == team.end() || acceptText(id->second) == nullptr) continue;
      const std::string& text = *acceptText(id->second);
      const auto [first, inserted] = firstWithId.emplace(text, i);
      if (!inserted) {
        add(at, "duplicate-id",
            "the id " + quoted(text) + " is also the id of " + child(pointer, first->second) +
                ": the award list keeps a control for each team, in order, but each sends "
                "{\"action\": \"award\", \"teamId\": " +
                quoted(text) +
                "}, so the host app "
                "cannot tell which was meant; give every team an id of its own");
      }
    }
  }

  void team(const std::string& pointer, const ContextDictionary& team) {
    const auto id = team.find("id");
    if (id == team.end()) {
      add(pointer, "dropped-team", "a team without \"id\": the watch skips it; give it a text id");
    } else if (acceptText(id->second) == nullptr) {
      add(pointer, "dropped-team",
          "its \"id\" is " + describeValue(id->second) + ", not text: the watch skips the team" +
              sendAsText(id->second));
    }
    for (const auto& [key, value] : team) {
      const std::string at = child(pointer, key);
      if (key == "id") continue;
      if (key == "name") {
        text(at, value, "shows the name \"\xD9\x81\xD8\xB1\xD9\x8A\xD9\x82\" (team)");
      } else if (key == "points") {
        points(at, value, "shows 0 points");
      } else {
        unknownKey(at, key, kTeamKeys, "in a team");
      }
    }
  }

  void tournament(const std::string& pointer, const ContextValue& value) {
    const ContextDictionary* tournament = acceptDictionary(value);
    if (tournament == nullptr) {
      return add(pointer, "wrong-kind",
                 describeValue(value) + " is not an object: the watch shows no tournament");
    }
    for (const auto& [key, member] : *tournament) {
      const std::string at = child(pointer, key);
      if (key == "teamA" || key == "teamB") {
        text(at, member, "shows \"\xD8\x9F\" for that side");
      } else if (key == "name" || key == "roundLabel" || key == "status") {
        text(at, member, "shows it empty");
      } else {
        unknownKey(at, key, kTournamentKeys, "in a tournament");
      }
    }
  }

  const ContextDictionary& snapshot_;
  bool questionScreen_ = false;
  std::vector<std::string_view> teamIds_;
  const double now_;
  const std::size_t most_;
  std::vector<SnapshotFinding> findings_;
  std::size_t leftOut_ = 0;
};

}  // namespace

std::vector<SnapshotFinding> explainSnapshot(const ContextDictionary& snapshot, double now) {
  return Explainer(snapshot, now, std::numeric_limits<std::size_t>::max()).run().findings;
}

SnapshotExplanation explainSnapshot(const ContextDictionary& snapshot, double now,
                                    std::size_t most) {
  return Explainer(snapshot, now, most).run();
}

}  // namespace dunvel
