#include "host/QuizNight.h"

namespace dunvel {

namespace {

const char* const kGameName = "ليلة الأسئلة";
const char* const kTournamentName = "كأس الأصدقاء";
const char* const kRoundLabels[QuizNight::kRounds] = {"الجولة الأولى", "الجولة الثانية"};

std::string pointsText(std::int64_t points) {
  return std::to_string(points) + " points";
}

}  // namespace

QuizNight::QuizNight(double now, Autoplay autoplay)
    : autoplay_(autoplay),
      teams_{{"t1", "الصقور", 0}, {"t2", "النمور", 0}, {"t3", "النجوم", 0}},
      // The second question waits past a minute before autoplay reveals it, so the one-minute
      // tap and the red clock show in every demo.
      questions_{{10, "سؤال سرعة", kAutoplayRevealSeconds},
                 {20, "اختيار من متعدد", 65},
                 {30, "صح أو خطأ", kAutoplayRevealSeconds}} {
  openQuestion(now);
}

std::size_t QuizNight::turnTeam() const {
  return questionsPlayed_ % teams_.size();
}

void QuizNight::openQuestion(double now) {
  phase_ = Phase::question;
  questionOpenedAt_ = now;
  phaseStartedAt_ = now;
  const Question& question = currentQuestion();
  lastEvent_ = "round " + std::to_string(round_ + 1) + ", question " +
               std::to_string(question_ + 1) + " opened (" + pointsText(question.points) + ", " +
               question.mode + ")";
}

void QuizNight::showBoard(double now) {
  phase_ = Phase::board;
  phaseStartedAt_ = now;
  ++questionsPlayed_;
}

void QuizNight::award(std::size_t team, double now) {
  teams_[team].points += currentQuestion().points;
  lastEvent_ = "awarded " + pointsText(currentQuestion().points) + " to " + teams_[team].name +
               " (" + teams_[team].id + ")";
  showBoard(now);
}

void QuizNight::noAnswer(double now) {
  lastEvent_ = "nobody answered question " + std::to_string(question_ + 1);
  showBoard(now);
}

bool QuizNight::handle(const ContextDictionary& command, double now) {
  const auto actionEntry = command.find("action");
  const std::string* action =
      actionEntry == command.end() ? nullptr : actionEntry->second.get_if<std::string>();
  if (action == nullptr) return false;

  if (*action == "reveal") {
    if (phase_ != Phase::question) return false;
    phase_ = Phase::answer;
    phaseStartedAt_ = now;
    lastEvent_ = "answer revealed";
    return true;
  }
  // Deciding before the answer is shown is not how the game is run: the companion offers the
  // award and no-answer controls only once the answer is revealed.
  if (phase_ != Phase::answer) return false;
  if (*action == "noAnswer") {
    noAnswer(now);
    return true;
  }
  if (*action == "award") {
    const auto teamEntry = command.find("teamId");
    const std::string* teamId =
        teamEntry == command.end() ? nullptr : teamEntry->second.get_if<std::string>();
    if (teamId == nullptr) return false;
    for (std::size_t team = 0; team < teams_.size(); ++team) {
      if (teams_[team].id == *teamId) {
        award(team, now);
        return true;
      }
    }
  }
  return false;
}

bool QuizNight::advance(double now) {
  const double waited = now - phaseStartedAt_;
  switch (phase_) {
    case Phase::question:
      if (autoplay_ == Autoplay::on && waited >= currentQuestion().autoplayRevealAfter) {
        return handle({{"action", "reveal"}}, now);
      }
      return false;
    case Phase::answer:
      if (autoplay_ == Autoplay::on && waited >= kAutoplayDecideSeconds) {
        // Every third question nobody knows the answer; otherwise the team whose turn it is.
        if (questionsPlayed_ % 3 == 2) return handle({{"action", "noAnswer"}}, now);
        return handle({{"action", "award"}, {"teamId", teams_[turnTeam()].id}}, now);
      }
      return false;
    case Phase::board:
      if (waited < kBoardSeconds) return false;
      if (question_ + 1 < questions_.size()) {
        ++question_;
        openQuestion(now);
        return true;
      }
      if (round_ + 1 < kRounds) {
        phase_ = Phase::tournament;
        phaseStartedAt_ = now;
        lastEvent_ = "round " + std::to_string(round_ + 1) + " over: tournament glance";
        return true;
      }
      phase_ = Phase::finished;
      phaseStartedAt_ = now;
      lastEvent_ = "the quiz night is over";
      return true;
    case Phase::tournament:
      if (waited < kTournamentSeconds) return false;
      ++round_;
      question_ = 0;
      openQuestion(now);
      return true;
    case Phase::finished:
      return false;
  }
  return false;
}

ContextDictionary QuizNight::context() const {
  ContextArray teams;
  for (const Team& team : teams_) {
    teams.emplace_back(
        ContextDictionary{{"id", team.id}, {"name", team.name}, {"points", team.points}});
  }
  ContextDictionary context{{"gameName", kGameName}, {"teams", std::move(teams)}};

  // The tournament pairs the two leading teams of the night.
  std::size_t first = 0;
  std::size_t second = 1;
  for (std::size_t team = 0; team < teams_.size(); ++team) {
    if (teams_[team].points > teams_[first].points) first = team;
  }
  if (second == first) second = 0;
  for (std::size_t team = 0; team < teams_.size(); ++team) {
    if (team != first && teams_[team].points > teams_[second].points) second = team;
  }
  const bool over = phase_ == Phase::finished;
  context["tournament"] = ContextDictionary{{"name", kTournamentName},
                                            {"roundLabel", kRoundLabels[round_]},
                                            {"teamA", teams_[first].name},
                                            {"teamB", teams_[second].name},
                                            {"status", over ? "انتهت البطولة" : "المباراة جارية"}};

  switch (phase_) {
    case Phase::question:
    case Phase::answer:
      context["screen"] = phase_ == Phase::question ? "question" : "answer";
      context["turnTeamId"] = teams_[turnTeam()].id;
      context["questionPoints"] = currentQuestion().points;
      context["questionMode"] = currentQuestion().mode;
      context["questionOpenedAt"] = questionOpenedAt_;
      break;
    case Phase::board:
      context["screen"] = "board";
      break;
    case Phase::tournament:
      context["screen"] = "tournament";
      break;
    case Phase::finished:
      context["screen"] = "idle";
      break;
  }
  return context;
}

}  // namespace dunvel
