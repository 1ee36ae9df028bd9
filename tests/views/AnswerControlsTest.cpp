#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScreenHarness.h"
#include "ShownLooks.h"
#include "views/AppColors.h"

namespace dunvel {
namespace {

// Each haptic is recorded together with how many messages the session had been handed by then,
// which tells whether the send came first.
struct Tap {
  HapticType haptic;
  std::size_t messagesBefore;
  bool operator==(const Tap&) const = default;
};

class AnswerControls : public ::testing::Test {
 protected:
  AnswerControls() {
    h.haptics.onPlay = [this](HapticType type) {
      taps.push_back({type, h.session.sentMessages().size()});
    };
  }
  void showPhase(const std::string& screen) {
    GameState state = snapshot(screen);
    state.teams = {TeamState("t1", "الصقور", 12), TeamState("t2", "النمور", 7),
                   TeamState("", "بلا معرف", 0)};
    h.show(state);
  }

  ScreenHarness h;
  std::vector<Tap> taps;
};

TEST_F(AnswerControls, RevealSendsThenClicks) {
  showPhase("question");
  h.session.setReachable(true);
  const Element* reveal = h.tree().findButton("اعرض الإجابة");
  ASSERT_NE(reveal, nullptr);
  EXPECT_EQ(reveal->modifier(ModifierKind::tint)->color, accentGold());
  // An eye, then the app's own words.
  EXPECT_EQ(shownLooks(*reveal), (std::vector<ShownLook>{{"eye.fill", false, {}, {}, {}},
                                                         {"اعرض الإجابة", true, {}, {}, {}}}));

  reveal->tap();
  reveal->tap();  // two taps, two commands, two clicks
  EXPECT_EQ(taps, (std::vector<Tap>{{HapticType::click, 1}, {HapticType::click, 2}}));
  const ContextDictionary expected{{"action", "reveal"}};
  EXPECT_EQ(h.session.sentMessages(), (std::vector<ContextDictionary>{expected, expected}));
  EXPECT_EQ(h.screen(), "HostRemoteView");  // nothing changes until the host app answers
}

TEST_F(AnswerControls, AwardSendsTheTeamIdThenSucceeds) {
  showPhase("answer");
  h.session.setReachable(true);
  const Element* award = h.tree().findButton("النمور");
  ASSERT_NE(award, nullptr);
  EXPECT_EQ(award->modifier(ModifierKind::tint)->color, Color::green());
  // The team's name as the host app sent it, cut to one line, then its points at the far edge
  // in the quieter, steady-width digits.
  EXPECT_EQ(shownLooks(*award),
            (std::vector<ShownLook>{
                {"النمور", false, {}, {}, 1},
                {"7", true, Font::footnote().monospacedDigit(), Color::secondary(), {}}}));
  const Element& row = award->children.at(0);
  ASSERT_EQ(row.children.size(), 3u);
  EXPECT_EQ(row.children[1].kind, ElementKind::spacer);

  award->tap();
  EXPECT_EQ(taps, (std::vector<Tap>{{HapticType::success, 1}}));
  EXPECT_EQ(h.session.sentMessages().back(),
            (ContextDictionary{{"action", "award"}, {"teamId", "t2"}}));

  // A team with an empty id still has its control, and sends the empty id.
  h.tree().findButton("بلا معرف")->tap();
  EXPECT_EQ(h.session.sentMessages().back(),
            (ContextDictionary{{"action", "award"}, {"teamId", ""}}));
}

TEST_F(AnswerControls, NoAnswerSendsThenFails) {
  showPhase("answer");
  h.session.setReachable(true);
  const Element* none = h.tree().findButton("محد جاوب");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->modifier(ModifierKind::tint)->color, Color::red());
  EXPECT_EQ(none->children.at(0).systemName, "xmark");
  none->tap();
  EXPECT_EQ(taps, (std::vector<Tap>{{HapticType::failure, 1}}));
  EXPECT_EQ(h.session.sentMessages().back(), (ContextDictionary{{"action", "noAnswer"}}));
}

TEST_F(AnswerControls, UnreachableHostDropsTheCommandButEveryTapStillPlaysItsHaptic) {
  showPhase("answer");
  // The store's published flag says reachable; the session, asked at the tap, says no.
  h.setReachable(true);
  h.session.setReachable(false);
  h.tree().findButton("الصقور")->tap();
  h.tree().findButton("محد جاوب")->tap();
  showPhase("question");
  h.tree().findButton("اعرض الإجابة")->tap();
  EXPECT_TRUE(h.session.sentMessages().empty());
  EXPECT_EQ(taps, (std::vector<Tap>{
                      {HapticType::success, 0}, {HapticType::failure, 0}, {HapticType::click, 0}}));
  EXPECT_EQ(h.screen(), "HostRemoteView");
}

}  // namespace
}  // namespace dunvel
