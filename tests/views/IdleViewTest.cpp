#include <gtest/gtest.h>

#include "ScreenHarness.h"
#include "ShownLooks.h"
#include "views/AppColors.h"

namespace dunvel {
namespace {

// The symbol, the name and a status line that follows reachability; the status wraps rather
// than being cut, centred under the name.
TEST(IdleView, TheStatusFollowsReachabilityUnderTheSymbolAndName) {
  ScreenHarness h;
  const auto looks = [&h] { return shownLooks(h.view("IdleView")); };
  const std::optional<Color> inherited;
  const std::optional<int> wraps;
  const ShownLook symbol{"gamecontroller.fill", false, Font::title2(), accentGold(), wraps};
  const ShownLook name{"Dunvel", true, Font::title3().bold(), inherited, wraps};
  const auto status = [&](const char* shown) {
    return ShownLook{shown, true, Font::footnote(), Color::secondary(), wraps};
  };
  // The store starts unreachable.
  EXPECT_EQ(looks(), (std::vector<ShownLook>{symbol, name, status("افتح التطبيق على الآيفون")}));
  h.setReachable(true);
  EXPECT_EQ(looks(), (std::vector<ShownLook>{symbol, name, status("بانتظار بدء اللعب…")}));
  h.setReachable(false);
  EXPECT_EQ(looks(), (std::vector<ShownLook>{symbol, name, status("افتح التطبيق على الآيفون")}));

  const Element* line = h.tree().findText("افتح التطبيق على الآيفون");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->modifier(ModifierKind::multilineTextAlignment)->textAlignment,
            TextAlignment::center);
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
