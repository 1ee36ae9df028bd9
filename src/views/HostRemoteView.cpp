#include "views/HostRemoteView.h"

#include <cstdint>
#include <optional>

#include "views/AppColors.h"
#include "views/AwardControl.h"
#include "views/NoAnswerControl.h"
#include "views/QuestionClock.h"
#include "views/RevealControl.h"
#include "views/toolkit/Environment.h"

namespace dunvel {
namespace {

Node statusRow(std::int64_t elapsed, std::int64_t questionPoints) {
  const bool late = overtime(elapsed);
  return HStack(VerticalAlignment::center, 6,
                {
                    Image(SystemName{"timer"}).foregroundColor(late ? Color::red() : accentGold()),
                    Text(Verbatim{clockText(elapsed)})
                        .font(Font::title3().monospacedDigit().bold())
                        .foregroundColor(late ? Color::red() : Color::primary()),
                    Spacer(),
                    Text(LocalizedStringKey::integer(questionPoints))
                        .font(Font::headline())
                        .foregroundColor(accentGold()),
                })
      .padding(Edges::horizontal, 4);
}

Node controlArea(const GameState& state) {
  if (state.screen == "question") return If(true, View(RevealControl{}));
  // Award controls are identified by team id; teams that share an id are told apart by their
  // position among those teams, so each keeps its own control.
  return If(false, Node(),
            Group({
                ForEach(
                    state.teams, [](const TeamState& team) { return team.id(); },
                    [](const TeamState& team) {
                      return View(AwardControl{{}, team});
                    }),
                View(NoAnswerControl{}),
            }));
}

}  // namespace

Node HostRemoteView::body() const {
  // One read of the snapshot per evaluation (and so per tick). A reference, not a copy: state is
  // only ever assigned by blocks on the main queue, never while a body is being built.
  const GameState& state = store->state.get();
  const std::int64_t elapsed = elapsedSeconds(now.get(), state.questionOpenedAt);

  // Runs on the main thread at each tick, in this screen's environment. The state handles
  // share their boxes with the screen's place, so they stay current across re-evaluations. The
  // graph runs any owed evaluation before a tick fires, so the snapshot read here is the one
  // the screen last took in: its change handler has already seen a new opening moment, and a
  // snapshot that leaves this screen has already ended the subscription.
  auto onTick = [store = store, now = now, buzzed = buzzed](Date date) {
    now.set(date);
    if (!overtime(elapsedSeconds(date, store->state->questionOpenedAt))) return;
    if (buzzed.get()) return;
    buzzed.set(true);
    Environment::current().currentDevice().playHaptic(HapticType::notification);
  };
  // A new question may buzz again at its own minute. A NaN opening moment differs from itself
  // at every evaluation; setting buzzed to the false it already holds schedules nothing, so
  // that cannot turn into an evaluation loop.
  auto onQuestionChange = [buzzed = buzzed] { buzzed.set(false); };

  return ScrollView(
             Axis::vertical, ShowsIndicators::yes,
             VStack(HorizontalAlignment::center, 8,
                    {
                        statusRow(elapsed, state.questionPoints),
                        If(!state.questionMode.empty(), Text(Verbatim{state.questionMode})
                                                            .font(Font::footnote())
                                                            .foregroundColor(Color::secondary())
                                                            .lineLimit(1)),
                        controlArea(state),
                    })
                 .padding(Edges::horizontal, 4))
      .onReceive(tick, std::move(onTick))
      .onChange(state.questionOpenedAt, std::move(onQuestionChange));
}

}  // namespace dunvel
