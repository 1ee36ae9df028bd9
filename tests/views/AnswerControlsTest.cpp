#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScreenHarness.h"
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
  const Element& label = reveal->children.at(0);
  EXPECT_EQ(label.kind, ElementKind::label);
  EXPECT_EQ(label.systemName, "eye.fill");
  EXPECT_TRUE(label.text->isLocalizable());

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
  const Element& row = award->children.at(0);
  EXPECT_EQ(row.kind, ElementKind::hstack);
  EXPECT_EQ(row.verticalAlignment, VerticalAlignment::center);
  EXPECT_EQ(row.spacing, std::nullopt);
  ASSERT_EQ(row.children.size(), 3u);
  EXPECT_FALSE(row.children[0].text->isLocalizable());
  EXPECT_EQ(row.children[0].modifier(ModifierKind::lineLimit)->lineLimit, 1);
  EXPECT_EQ(row.children[0].modifier(ModifierKind::font), nullptr);
  EXPECT_EQ(row.children[1].kind, ElementKind::spacer);
  EXPECT_EQ(row.children[2].text->key(), "%lld");
  EXPECT_EQ(row.children[2].text->shown(), "7");
  EXPECT_EQ(row.children[2].modifier(ModifierKind::font)->font, Font::footnote().monospacedDigit());
  EXPECT_EQ(row.children[2].modifier(ModifierKind::foregroundColor)->color, Color::secondary());

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
