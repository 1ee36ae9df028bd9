#include "views/TournamentGlanceView.h"

#include <optional>

#include "views/AppColors.h"

namespace dunvel {
namespace {

Node summary(const TournamentState& tournament) {
  // The card takes the full width the root stack offers; nothing else is bounded.
  FlexibleFrame fullWidth;
  fullWidth.maxWidth = infinity;
  return Group({
      HStack(VerticalAlignment::center, 6,
             {
                 Image(SystemName{"trophy.fill"}).foregroundColor(accentGold()),
                 Text(Verbatim{tournament.name()}).font(Font::headline()).lineLimit(1),
             }),
      Text(Verbatim{tournament.roundLabel()})
          .font(Font::footnote())
          .foregroundColor(Color::secondary()),
      VStack(HorizontalAlignment::center, 4,
             {
                 Text(Verbatim{tournament.teamA()}).font(Font::body().bold()).lineLimit(1),
                 Text(LocalizedStringKey{"ضد"})
                     .font(Font::caption2())
                     .foregroundColor(Color::secondary()),
                 Text(Verbatim{tournament.teamB()}).font(Font::body().bold()).lineLimit(1),
             })
          .padding(10)
          .frame(fullWidth)
          .background(panelBlue().opacity(0.6))
          .clipShape(RoundedRectangle(12, RoundedCornerStyle::continuous)),
      // An empty status takes no place at all, not even the stack's spacing.
      If(!tournament.status().empty(),
         Text(Verbatim{tournament.status()}).font(Font::caption2()).foregroundColor(accentGold())),
  });
}

}  // namespace

Node TournamentGlanceView::body() const {
  // A reference into the current snapshot: it is not reassigned while the body is built.
  const std::optional<TournamentState>& tournament = store->state->tournament;
  // The two branches are the two sides of one condition, so each has its own place.
  Node content = tournament.has_value() ? If(true, summary(*tournament))
                                        : If(false, Node(),
                                             Text(LocalizedStringKey{"لا توجد بطولة نشطة"})
                                                 .font(Font::footnote())
                                                 .foregroundColor(Color::secondary()));
  return VStack(HorizontalAlignment::center, 8, {content}).padding();
}

}  // namespace dunvel
