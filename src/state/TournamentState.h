#pragma once

#include <string>

namespace dunvel {

// Summary of the tournament the host app runs. Free texts, fixed at construction.
class TournamentState {
 public:
  TournamentState(std::string name, std::string roundLabel, std::string teamA, std::string teamB,
                  std::string status)
      : name_(std::move(name)),
        roundLabel_(std::move(roundLabel)),
        teamA_(std::move(teamA)),
        teamB_(std::move(teamB)),
        status_(std::move(status)) {}

  const std::string& name() const { return name_; }
  const std::string& roundLabel() const { return roundLabel_; }
  const std::string& teamA() const { return teamA_; }
  const std::string& teamB() const { return teamB_; }
  const std::string& status() const { return status_; }

  friend bool operator==(const TournamentState& a, const TournamentState& b);

 private:
  std::string name_;
  std::string roundLabel_;
  std::string teamA_;
  std::string teamB_;
  std::string status_;
};

}  // namespace dunvel
