#include "views/AwardControl.h"

#include <optional>

#include "views/toolkit/Environment.h"

namespace dunvel {

Node AwardControl::body() const {
  auto award = [store = store, teamId = team.id()] {
    store->send("award", {{"teamId", ContextValue(teamId)}});
    Environment::current().currentDevice().playHaptic(HapticType::success);
  };
  return Button(std::move(award), HStack(VerticalAlignment::center, std::nullopt,
                                         {
                                             Text(Verbatim{team.name()}).lineLimit(1),
                                             Spacer(),
                                             Text(LocalizedStringKey::integer(team.points()))
                                                 .font(Font::footnote().monospacedDigit())
                                                 .foregroundColor(Color::secondary()),
                                         }))
      .tint(Color::green());
}

}  // namespace dunvel
