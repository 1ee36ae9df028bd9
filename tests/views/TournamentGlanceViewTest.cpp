#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScreenHarness.h"
#include "ShownLooks.h"
#include "views/AppColors.h"

namespace dunvel {
namespace {

const Element& stackOf(const ScreenHarness& h) {
  return h.view("TournamentGlanceView").children.at(0);
}

GameState withTournament(std::string status, std::string roundLabel = "نصف النهائي") {
  GameState state = snapshot("tournament");
  state.tournament =
      TournamentState("كأس الربيع", std::move(roundLabel), "الصقور", "النمور", std::move(status));
  return state;
}

// What the wearer reads, in order, and how: the host's own words are never translated, names
// and the title are cut at one line, the round and the status wrap.
TEST(TournamentGlanceView, TheSummaryReadsTitleRoundTeamsAndStatusInOrder) {
  ScreenHarness h;
  h.show(withTournament("المباراة جارية"));
  const std::optional<Font> none;
  const std::optional<Color> inherited;
  const std::optional<int> wraps;
  EXPECT_EQ(shownLooks(h.view("TournamentGlanceView")),
            (std::vector<ShownLook>{
                {"trophy.fill", false, none, accentGold(), wraps},
                {"كأس الربيع", false, Font::headline(), inherited, 1},
                {"نصف النهائي", false, Font::footnote(), Color::secondary(), wraps},
                {"الصقور", false, Font::body().bold(), inherited, 1},
                {"ضد", true, Font::caption2(), Color::secondary(), wraps},
                {"النمور", false, Font::body().bold(), inherited, 1},
                {"المباراة جارية", false, Font::caption2(), accentGold(), wraps},
            }));

  // The teams stand on a card: inset, full width, a translucent panel, a rounded clip, in that
  // order (a background applied before the padding would not reach the card's edge).
  const Element* card = h.view("TournamentGlanceView").find([](const Element& e) {
    return e.kind == ElementKind::vstack && e.modifier(ModifierKind::clipShape) != nullptr;
  });
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(card->texts(), (std::vector<std::string>{"الصقور", "ضد", "النمور"}));
  std::vector<ModifierKind> order;
  for (const Modifier& m : card->modifiers) order.push_back(m.kind);
  EXPECT_EQ(order, (std::vector<ModifierKind>{ModifierKind::padding, ModifierKind::frame,
                                              ModifierKind::background, ModifierKind::clipShape}));
  FlexibleFrame fullWidth;
  fullWidth.maxWidth = infinity;
  EXPECT_EQ(card->modifier(ModifierKind::frame)->flexibleFrame, fullWidth);
  EXPECT_EQ(card->modifier(ModifierKind::padding)->length, 10.0);
  EXPECT_EQ(card->modifier(ModifierKind::background)->color, panelBlue().opacity(0.6));
  // The corners' radius and style change few pixels: the reference images would not see them.
  EXPECT_EQ(card->modifier(ModifierKind::clipShape)->shape->cornerRadius, 12.0);
  EXPECT_EQ(card->modifier(ModifierKind::clipShape)->shape->style, RoundedCornerStyle::continuous);
}

TEST(TournamentGlanceView, EmptyFieldsAndTheTwoBranches) {
  ScreenHarness h;
  // No tournament: exactly one element, the notice.
  h.show(snapshot("tournament"));
  ASSERT_EQ(stackOf(h).children.size(), 1u);
  const Element& notice = stackOf(h).children[0];
  EXPECT_EQ(notice.text->shown(), "لا توجد بطولة نشطة");
  EXPECT_TRUE(notice.text->isLocalizable());
  EXPECT_EQ(notice.modifier(ModifierKind::font)->font, Font::footnote());
  EXPECT_EQ(notice.modifier(ModifierKind::foregroundColor)->color, Color::secondary());
  EXPECT_EQ(notice.modifier(ModifierKind::lineLimit), nullptr);

  // An empty status takes no place: the card is the last child.
  h.show(withTournament(""));
  ASSERT_EQ(stackOf(h).children.size(), 3u);
  EXPECT_EQ(stackOf(h).children[2].modifier(ModifierKind::clipShape)->shape->cornerRadius, 12.0);
  EXPECT_EQ(h.tree().findText("لا توجد بطولة نشطة"), nullptr);

  // An empty round label keeps its line, second.
  h.show(withTournament("x", ""));
  ASSERT_EQ(stackOf(h).children.size(), 4u);
  EXPECT_EQ(stackOf(h).children[1].text->shown(), "");
  EXPECT_EQ(stackOf(h).children[1].modifier(ModifierKind::font)->font, Font::footnote());

  // All fields empty: symbol beside an empty name, empty round line, card around "ضد".
  GameState blank = snapshot("tournament");
  blank.tournament = TournamentState("", "", "", "", "");
  h.show(blank);
  ASSERT_EQ(stackOf(h).children.size(), 3u);
  EXPECT_EQ(stackOf(h).texts(), (std::vector<std::string>{"", "", "", "ضد", ""}));

  // Dropping the tournament brings the notice back at the next evaluation.
  h.show(snapshot("tournament"));
  EXPECT_EQ(h.view("TournamentGlanceView").texts(), std::vector<std::string>{"لا توجد بطولة نشطة"});
}

}  // namespace
}  // namespace dunvel
