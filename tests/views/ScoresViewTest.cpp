#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScreenHarness.h"
#include "ShownLooks.h"
#include "views/AppColors.h"

namespace dunvel {
namespace {

const Element& stackOf(const ScreenHarness& h) {
  return h.view("ScoresView").children.at(0).children.at(0);
}

Color dotColor(const Element& row) {
  return *row.children.at(0).modifier(ModifierKind::foregroundColor)->color;
}

// What the wearer reads, in order, and how: the game's name cut at one line, then a row a team
// in the order sent, its name cut at one line and its points a localised figure in gold.
TEST(ScoresView, AHeaderThenARowATeamInTheOrderSent) {
  ScreenHarness h;
  GameState state = snapshot("board");
  state.gameName = "ليلة المسابقات";
  // B before A although A leads: the board never sorts.
  state.teams = {TeamState("b", "النمور", 3), TeamState("a", "الصقور", 40),
                 TeamState("c", "الذئاب", -5)};
  state.turnTeamId = "a";
  h.show(state);

  const std::optional<Color> inherited;
  const auto name = [&](const char* shown) {
    return ShownLook{shown, false, Font::body(), inherited, 1};
  };
  const auto points = [&](const char* shown) {
    return ShownLook{shown, true, Font::body().monospacedDigit().bold(), accentGold(), {}};
  };
  EXPECT_EQ(shownLooks(h.view("ScoresView")),
            (std::vector<ShownLook>{{"ليلة المسابقات", false, Font::headline(), inherited, 1},
                                    name("النمور"),
                                    points("3"),
                                    name("الصقور"),
                                    points("40"),
                                    name("الذئاب"),
                                    points("-5")}));
  // The points go through the string table as a number, so they read in the wearer's digits.
  const Element* figure = h.tree().findText("40");
  ASSERT_NE(figure, nullptr);
  EXPECT_EQ(figure->text->key(), "%lld");
  EXPECT_EQ(figure->text->argument(), 40);

  // The list scrolls, with its indicator.
  const Element& scroll = h.view("ScoresView").children.at(0);
  EXPECT_EQ(scroll.kind, ElementKind::scrollView);
  EXPECT_EQ(scroll.axis, Axis::vertical);
  EXPECT_EQ(scroll.showsIndicators, ShowsIndicators::yes);

  // Each row is a card: inset, then the translucent panel, then the rounded clip.
  const Element& row = stackOf(h).children.at(2);
  EXPECT_EQ(row.texts(), (std::vector<std::string>{"الصقور", "40"}));
  std::vector<ModifierKind> order;
  for (const Modifier& m : row.modifiers) order.push_back(m.kind);
  EXPECT_EQ(order, (std::vector<ModifierKind>{ModifierKind::padding, ModifierKind::background,
                                              ModifierKind::clipShape}));
  EXPECT_EQ(row.modifier(ModifierKind::padding)->length, 8.0);
  EXPECT_EQ(row.modifier(ModifierKind::background)->color, panelBlue().opacity(0.6));
  // The corners' radius and style change few pixels: the reference images would not see them.
  EXPECT_EQ(row.modifier(ModifierKind::clipShape)->shape->cornerRadius, 10.0);
  EXPECT_EQ(row.modifier(ModifierKind::clipShape)->shape->style, RoundedCornerStyle::continuous);

  // The turn dot: gold for the turn team alone, gray at 0.4 for the others.
  EXPECT_EQ(dotColor(stackOf(h).children[1]), Color::gray().opacity(0.4));
  EXPECT_EQ(dotColor(stackOf(h).children[2]), accentGold());
  EXPECT_EQ(dotColor(stackOf(h).children[3]), Color::gray().opacity(0.4));
}

TEST(ScoresView, HeaderAndDotsFollowTheSnapshot) {
  ScreenHarness h;
  GameState state = snapshot("board");
  state.teams = {TeamState("a", "الصقور", 1), TeamState("b", "النمور", 2)};
  h.show(state);
  // No game name: no header, the first row is at the top; no turn: every dot gray.
  ASSERT_EQ(stackOf(h).children.size(), 2u);
  EXPECT_EQ(stackOf(h).children[0].kind, ElementKind::hstack);
  for (const Element& row : stackOf(h).children) {
    EXPECT_EQ(dotColor(row), Color::gray().opacity(0.4));
  }

  // A turn naming no team, or differing only in case, lights no dot.
  for (const char* turn : {"z", "A", ""}) {
    state.turnTeamId = turn;
    h.show(state);
    for (const Element& row : stackOf(h).children) {
      EXPECT_EQ(dotColor(row), Color::gray().opacity(0.4)) << turn;
    }
  }

  // The dot moves with the turn.
  state.turnTeamId = "b";
  h.show(state);
  EXPECT_EQ(dotColor(stackOf(h).children[0]), Color::gray().opacity(0.4));
  EXPECT_EQ(dotColor(stackOf(h).children[1]), accentGold());

  // The same id written decomposed ("e" + combining acute) names the precomposed team.
  state.teams = {TeamState("\xC3\xA9quipe", "الصقور", 1), TeamState("b", "النمور", 2)};
  state.turnTeamId = "e\xCC\x81quipe";
  h.show(state);
  EXPECT_EQ(dotColor(stackOf(h).children[0]), accentGold());
  EXPECT_EQ(dotColor(stackOf(h).children[1]), Color::gray().opacity(0.4));

  // No teams: the header alone, or nothing at all.
  state.teams = {};
  state.gameName = "مسابقة";
  h.show(state);
  EXPECT_EQ(h.view("ScoresView").texts(), std::vector<std::string>{"مسابقة"});
  state.gameName = "";
  h.show(state);
  EXPECT_TRUE(stackOf(h).children.empty());
}

TEST(ScoresView, TeamsThatShareAnIdEachKeepTheirRow) {
  ScreenHarness h;
  GameState state = snapshot("board");
  state.teams = {TeamState("x", "الصقور", 1), TeamState("x", "النمور", 2),
                 TeamState("y", "الذئاب", 3)};
  state.turnTeamId = "x";
  h.show(state);
  const Element& stack = stackOf(h);
  ASSERT_EQ(stack.children.size(), 3u);
  EXPECT_EQ(h.view("ScoresView").texts(),
            (std::vector<std::string>{"الصقور", "1", "النمور", "2", "الذئاب", "3"}));
  // Both rows of team x carry the turn marker; their places in the tree differ.
  EXPECT_EQ(dotColor(stack.children[0]), accentGold());
  EXPECT_EQ(dotColor(stack.children[1]), accentGold());
  EXPECT_NE(stack.children[0].identity, stack.children[1].identity);
}

}  // namespace
}  // namespace dunvel
