#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScreenHarness.h"
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

TEST(TournamentGlanceView, FullSummaryTree) {
  ScreenHarness h;
  h.show(withTournament("المباراة جارية"));
  const Element& stack = stackOf(h);
  EXPECT_EQ(stack.kind, ElementKind::vstack);
  EXPECT_EQ(stack.horizontalAlignment, HorizontalAlignment::center);
  EXPECT_EQ(stack.spacing, 8.0);
  ASSERT_EQ(stack.modifiers.size(), 1u);
  EXPECT_EQ(stack.modifiers[0].kind, ModifierKind::padding);
  EXPECT_EQ(stack.modifiers[0].edges, Edges::all);
  EXPECT_EQ(stack.modifiers[0].length, std::nullopt);
  ASSERT_EQ(stack.children.size(), 4u);

  const Element& title = stack.children[0];
  EXPECT_EQ(title.kind, ElementKind::hstack);
  EXPECT_EQ(title.verticalAlignment, VerticalAlignment::center);
  EXPECT_EQ(title.spacing, 6.0);
  ASSERT_EQ(title.children.size(), 2u);
  EXPECT_EQ(title.children[0].systemName, "trophy.fill");
  EXPECT_EQ(title.children[0].modifier(ModifierKind::font), nullptr);
  EXPECT_EQ(title.children[0].modifier(ModifierKind::foregroundColor)->color, accentGold());
  EXPECT_EQ(title.children[1].text->shown(), "كأس الربيع");
  EXPECT_FALSE(title.children[1].text->isLocalizable());
  EXPECT_EQ(title.children[1].modifier(ModifierKind::font)->font, Font::headline());
  EXPECT_EQ(title.children[1].modifier(ModifierKind::lineLimit)->lineLimit, 1);
  EXPECT_EQ(title.children[1].modifier(ModifierKind::foregroundColor), nullptr);

  const Element& round = stack.children[1];
  EXPECT_EQ(round.text->shown(), "نصف النهائي");
  EXPECT_FALSE(round.text->isLocalizable());
  EXPECT_EQ(round.modifier(ModifierKind::font)->font, Font::footnote());
  EXPECT_EQ(round.modifier(ModifierKind::foregroundColor)->color, Color::secondary());
  EXPECT_EQ(round.modifier(ModifierKind::lineLimit), nullptr);

  const Element& card = stack.children[2];
  EXPECT_EQ(card.kind, ElementKind::vstack);
  EXPECT_EQ(card.horizontalAlignment, HorizontalAlignment::center);
  EXPECT_EQ(card.spacing, 4.0);
  ASSERT_EQ(card.children.size(), 3u);
  EXPECT_EQ(card.children[0].text->shown(), "الصقور");
  EXPECT_EQ(card.children[0].modifier(ModifierKind::font)->font, Font::body().bold());
  EXPECT_EQ(card.children[0].modifier(ModifierKind::lineLimit)->lineLimit, 1);
  EXPECT_EQ(card.children[0].modifier(ModifierKind::foregroundColor), nullptr);
  EXPECT_EQ(card.children[1].text->shown(), "ضد");
  EXPECT_TRUE(card.children[1].text->isLocalizable());
  EXPECT_EQ(card.children[1].modifier(ModifierKind::font)->font, Font::caption2());
  EXPECT_EQ(card.children[1].modifier(ModifierKind::foregroundColor)->color, Color::secondary());
  EXPECT_EQ(card.children[2].text->shown(), "النمور");
  EXPECT_EQ(card.children[2].modifier(ModifierKind::font)->font, Font::body().bold());
  EXPECT_EQ(card.children[2].modifier(ModifierKind::lineLimit)->lineLimit, 1);
  // Inset, full width, translucent panel, rounded clip: in that order.
  ASSERT_EQ(card.modifiers.size(), 4u);
  EXPECT_EQ(card.modifiers[0].kind, ModifierKind::padding);
  EXPECT_EQ(card.modifiers[0].edges, Edges::all);
  EXPECT_EQ(card.modifiers[0].length, 10.0);
  EXPECT_EQ(card.modifiers[1].kind, ModifierKind::frame);
  FlexibleFrame fullWidth;
  fullWidth.maxWidth = infinity;
  EXPECT_EQ(card.modifiers[1].flexibleFrame, fullWidth);
  EXPECT_EQ(card.modifiers[2].kind, ModifierKind::background);
  EXPECT_EQ(card.modifiers[2].color, panelBlue().opacity(0.6));
  EXPECT_EQ(card.modifiers[3].kind, ModifierKind::clipShape);
  EXPECT_EQ(card.modifiers[3].shape->cornerRadius, 12.0);
  EXPECT_EQ(card.modifiers[3].shape->style, RoundedCornerStyle::continuous);

  const Element& status = stack.children[3];
  EXPECT_EQ(status.text->shown(), "المباراة جارية");
  EXPECT_FALSE(status.text->isLocalizable());
  EXPECT_EQ(status.modifier(ModifierKind::font)->font, Font::caption2());
  EXPECT_EQ(status.modifier(ModifierKind::foregroundColor)->color, accentGold());
  EXPECT_EQ(status.modifier(ModifierKind::lineLimit), nullptr);
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
