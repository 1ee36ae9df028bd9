#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/ContextValue.h"

namespace dunvel {

// Whether the demo plays the host's part too.
enum class Autoplay { off, on };

// The demo quiz night that dunvel-host demo and dunvel-watch --demo play: a few teams, two rounds
// of questions with points and a mode, a scoreboard after each question and a tournament glance
// between rounds. Plain logic: it is fed the companion's commands and the passing of time (wall
// clock seconds since 1970, the unit of questionOpenedAt) and says when its snapshot changed.
//
//   question ──reveal──► answer ──award/noAnswer──► board ──(time)──► next question
//                                                      └──(end of round)──► tournament ──► …
//   after the last round's board: finished (screen "idle")
//
// With autoplay it reveals and decides by itself after a few seconds, so a whole night runs with
// nobody at the watch; one question is left open past a minute so the one-minute tap shows.
class QuizNight {
 public:
  enum class Phase { question, answer, board, tournament, finished };

  struct Team {
    std::string id;
    std::string name;
    std::int64_t points = 0;
  };

  struct Question {
    std::int64_t points = 0;
    std::string mode;
    // Seconds autoplay waits before revealing this question.
    double autoplayRevealAfter = 0;
  };

  // How long the host lets things stand before moving on by itself.
  static constexpr double kBoardSeconds = 5;
  static constexpr double kTournamentSeconds = 6;
  // Autoplay's reaction times.
  static constexpr double kAutoplayRevealSeconds = 4;
  static constexpr double kAutoplayDecideSeconds = 4;

  // Opens the first question at now.
  explicit QuizNight(double now, Autoplay autoplay = Autoplay::off);

  // The snapshot as the host app would push it now.
  ContextDictionary context() const;

  // A command from the companion ({"action": …, "teamId": …}). Returns whether the snapshot
  // changed; a command that does not fit the moment (an award before the reveal, an unknown
  // team or action) changes nothing.
  bool handle(const ContextDictionary& command, double now);

  // Lets time pass up to now. Returns whether the snapshot changed.
  bool advance(double now);

  Phase phase() const { return phase_; }
  const std::vector<Team>& teams() const { return teams_; }
  std::size_t round() const { return round_; }
  // Index of the current question within its round.
  std::size_t question() const { return question_; }
  std::size_t questionsPerRound() const { return questions_.size(); }
  static constexpr std::size_t kRounds = 2;
  // One line saying what just happened, for the demo's log.
  const std::string& lastEvent() const { return lastEvent_; }

 private:
  void openQuestion(double now);
  void award(std::size_t team, double now);
  void noAnswer(double now);
  void showBoard(double now);
  const Question& currentQuestion() const { return questions_[question_]; }
  std::size_t turnTeam() const;

  Autoplay autoplay_;
  std::vector<Team> teams_;
  std::vector<Question> questions_;
  Phase phase_ = Phase::question;
  std::size_t round_ = 0;
  std::size_t question_ = 0;
  std::size_t questionsPlayed_ = 0;
  double questionOpenedAt_ = 0;
  double phaseStartedAt_ = 0;
  std::string lastEvent_;
};

}  // namespace dunvel
