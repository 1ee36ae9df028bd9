#include <gtest/gtest.h>

#include "ScreenHarness.h"
#include "views/AppColors.h"

namespace dunvel {
namespace {

TEST(IdleView, TreeAndStatusFollowingReachability) {
  ScreenHarness h;
  const auto stack = [&h]() -> const Element& { return h.view("IdleView").children.at(0); };
  ASSERT_EQ(stack().kind, ElementKind::vstack);
  EXPECT_EQ(stack().horizontalAlignment, HorizontalAlignment::center);
  EXPECT_EQ(stack().spacing, 8.0);
  ASSERT_EQ(stack().modifiers.size(), 1u);
  EXPECT_EQ(stack().modifiers[0].kind, ModifierKind::padding);
  EXPECT_EQ(stack().modifiers[0].edges, Edges::all);
  EXPECT_EQ(stack().modifiers[0].length, std::nullopt);
  ASSERT_EQ(stack().children.size(), 3u);

  const Element& symbol = stack().children[0];
  EXPECT_EQ(symbol.kind, ElementKind::image);
  EXPECT_EQ(symbol.systemName, "gamecontroller.fill");
  EXPECT_EQ(symbol.modifier(ModifierKind::font)->font, Font::title2());
  EXPECT_EQ(symbol.modifier(ModifierKind::foregroundColor)->color, accentGold());

  const Element& title = stack().children[1];
  EXPECT_TRUE(title.text->isLocalizable());
  EXPECT_EQ(title.text->shown(), "Dunvel");
  EXPECT_EQ(title.modifier(ModifierKind::font)->font, Font::title3().bold());
  EXPECT_EQ(title.modifier(ModifierKind::foregroundColor), nullptr);

  // The store starts unreachable.
  const auto status = [&]() -> const Element& { return stack().children[2]; };
  EXPECT_EQ(status().text->shown(), "افتح التطبيق على الآيفون");
  EXPECT_TRUE(status().text->isLocalizable());
  EXPECT_EQ(status().modifier(ModifierKind::font)->font, Font::footnote());
  EXPECT_EQ(status().modifier(ModifierKind::foregroundColor)->color, Color::secondary());
  EXPECT_EQ(status().modifier(ModifierKind::multilineTextAlignment)->textAlignment,
            TextAlignment::center);
  EXPECT_EQ(status().modifier(ModifierKind::lineLimit), nullptr);  // a long status wraps

  h.setReachable(true);
  EXPECT_EQ(status().text->shown(), "بانتظار بدء اللعب…");
  EXPECT_EQ(stack().children.size(), 3u);
  EXPECT_EQ(stack().children[1].text->shown(), "Dunvel");
  h.setReachable(false);
  EXPECT_EQ(status().text->shown(), "افتح التطبيق على الآيفون");
}

TEST(IdleView, AnUnknownScreenShowsNothingOfTheSnapshot) {
  ScreenHarness h;
  h.setReachable(true);
  GameState state = snapshot("lobby");
  state.gameName = "ليلة المسابقات";
  state.teams = {TeamState("t1", "الصقور", 5)};
  h.show(state);
  EXPECT_EQ(h.tree().texts(), (std::vector<std::string>{"Dunvel", "بانتظار بدء اللعب…"}));
}

}  // namespace
}  // namespace dunvel
