#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScreenHarness.h"
#include "views/AppColors.h"

namespace dunvel {
namespace {

const Element& stackOf(const ScreenHarness& h) {
  return h.view("ScoresView").children.at(0).children.at(0);
}

Color dotColor(const Element& row) {
  return *row.children.at(0).modifier(ModifierKind::foregroundColor)->color;
}

TEST(ScoresView, TreeOfAHeaderAndRowsInTheOrderSent) {
  ScreenHarness h;
  GameState state = snapshot("board");
  state.gameName = "ليلة المسابقات";
  // B before A although A leads: the board never sorts.
  state.teams = {TeamState("b", "النمور", 3), TeamState("a", "الصقور", 40),
                 TeamState("c", "الذئاب", -5)};
  state.turnTeamId = "a";
  h.show(state);

  const Element& scroll = h.view("ScoresView").children.at(0);
  EXPECT_EQ(scroll.kind, ElementKind::scrollView);
  EXPECT_EQ(scroll.axis, Axis::vertical);
  EXPECT_EQ(scroll.showsIndicators, ShowsIndicators::yes);
  const Element& stack = stackOf(h);
  EXPECT_EQ(stack.horizontalAlignment, HorizontalAlignment::leading);
  EXPECT_EQ(stack.spacing, 6.0);
  ASSERT_EQ(stack.modifiers.size(), 1u);
  EXPECT_EQ(stack.modifiers[0].edges, Edges::horizontal);
  EXPECT_EQ(stack.modifiers[0].length, 4.0);
  ASSERT_EQ(stack.children.size(), 4u);

  const Element& header = stack.children[0];
  EXPECT_EQ(header.text->shown(), "ليلة المسابقات");
  EXPECT_FALSE(header.text->isLocalizable());
  EXPECT_EQ(header.modifier(ModifierKind::font)->font, Font::headline());
  EXPECT_EQ(header.modifier(ModifierKind::lineLimit)->lineLimit, 1);

  std::vector<std::string> names;
  std::vector<std::string> points;
  for (std::size_t i = 1; i < stack.children.size(); ++i) {
    names.push_back(stack.children[i].children.at(1).text->shown());
    points.push_back(stack.children[i].children.at(3).text->shown());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"النمور", "الصقور", "الذئاب"}));
  EXPECT_EQ(points, (std::vector<std::string>{"3", "40", "-5"}));

  const Element& row = stack.children[2];
  EXPECT_EQ(row.kind, ElementKind::hstack);
  EXPECT_EQ(row.verticalAlignment, VerticalAlignment::center);
  EXPECT_EQ(row.spacing, std::nullopt);
  ASSERT_EQ(row.children.size(), 4u);
  const Element& dot = row.children[0];
  EXPECT_EQ(dot.kind, ElementKind::circle);
  ASSERT_NE(dot.modifier(ModifierKind::frame), nullptr);
  EXPECT_EQ(dot.modifier(ModifierKind::frame)->fixedFrame, (FixedFrame{8.0, 8.0}));
  const Element& name = row.children[1];
  EXPECT_FALSE(name.text->isLocalizable());
  EXPECT_EQ(name.modifier(ModifierKind::font)->font, Font::body());
  EXPECT_EQ(name.modifier(ModifierKind::lineLimit)->lineLimit, 1);
  EXPECT_EQ(row.children[2].kind, ElementKind::spacer);
  EXPECT_EQ(row.children[2].minLength, std::nullopt);
  const Element& figure = row.children[3];
  EXPECT_TRUE(figure.text->isLocalizable());
  EXPECT_EQ(figure.text->key(), "%lld");
  EXPECT_EQ(figure.text->argument(), 40);
  EXPECT_EQ(figure.modifier(ModifierKind::font)->font, Font::body().monospacedDigit().bold());
  EXPECT_EQ(figure.modifier(ModifierKind::foregroundColor)->color, accentGold());

  // The card: padding 8 on all edges, then the translucent panel, then the rounded clip.
  ASSERT_EQ(row.modifiers.size(), 3u);
  EXPECT_EQ(row.modifiers[0].kind, ModifierKind::padding);
  EXPECT_EQ(row.modifiers[0].edges, Edges::all);
  EXPECT_EQ(row.modifiers[0].length, 8.0);
  EXPECT_EQ(row.modifiers[1].kind, ModifierKind::background);
  EXPECT_EQ(row.modifiers[1].color, panelBlue().opacity(0.6));
  EXPECT_EQ(row.modifiers[2].kind, ModifierKind::clipShape);
  EXPECT_EQ(row.modifiers[2].shape->cornerRadius, 10.0);
  EXPECT_EQ(row.modifiers[2].shape->style, RoundedCornerStyle::continuous);

  // The turn dot: gold for the turn team alone, gray at 0.4 for the others.
  EXPECT_EQ(dotColor(stack.children[1]), Color::gray().opacity(0.4));
  EXPECT_EQ(dotColor(stack.children[2]), accentGold());
  EXPECT_EQ(dotColor(stack.children[3]), Color::gray().opacity(0.4));
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
