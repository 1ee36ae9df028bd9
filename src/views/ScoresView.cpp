#include "views/ScoresView.h"

#include <optional>
#include <string>

#include "state/TextEquality.h"
#include "views/AppColors.h"

namespace dunvel {
namespace {

Node teamRow(const TeamState& team, const std::optional<std::string>& turnTeamId) {
  // Exact and case-sensitive, with the system's one text equality: an id written with a
  // decomposed letter names the same team as the precomposed one.
  const bool hasTurn = turnTeamId.has_value() && textEquals(*turnTeamId, team.id());
  const Color dotColor = hasTurn ? accentGold() : Color::gray().opacity(0.4);
  return HStack(VerticalAlignment::center, std::nullopt,
                {
                    Circle().fill(dotColor).frame(8, 8),
                    Text(Verbatim{team.name()}).font(Font::body()).lineLimit(1),
                    Spacer(),
                    Text(LocalizedStringKey::integer(team.points()))
                        .font(Font::body().monospacedDigit().bold())
                        .foregroundColor(accentGold()),
                })
      .padding(8)
      .background(panelBlue().opacity(0.6))
      .clipShape(RoundedRectangle(10, RoundedCornerStyle::continuous));
}

}  // namespace

Node ScoresView::body() const {
  // One read of the snapshot. A reference, not a copy: state is only ever assigned by blocks on
  // the main queue, never while a body is being built, and every row copies what it shows.
  const GameState& state = store->state.get();
  const std::optional<std::string>& turnTeamId = state.turnTeamId;
  return ScrollView(
      Axis::vertical, ShowsIndicators::yes,
      VStack(HorizontalAlignment::leading, 6,
             {
                 If(!state.gameName.empty(),
                    Text(Verbatim{state.gameName}).font(Font::headline()).lineLimit(1)),
                 // Rows are identified by team id; teams that share an id are told apart by
                 // their position among those teams, so none of them loses its row.
                 ForEach(
                     state.teams, [](const TeamState& team) { return team.id(); },
                     [&turnTeamId](const TeamState& team) { return teamRow(team, turnTeamId); }),
             })
          .padding(Edges::horizontal, 4));
}

}  // namespace dunvel
