#include "views/AppColors.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace dunvel {
namespace {

TEST(AppColors, ValuesAreTheOpaqueSRGBComponents) {
  const Color gold = accentGold();
  EXPECT_EQ(gold.kind(), Color::Kind::sRGB);
  EXPECT_DOUBLE_EQ(gold.redComponent(), 1.0);
  EXPECT_DOUBLE_EQ(gold.greenComponent(), 0.7);
  EXPECT_DOUBLE_EQ(gold.blueComponent(), 0.0);
  EXPECT_DOUBLE_EQ(gold.alpha(), 1.0);
  const Color blue = panelBlue();
  EXPECT_EQ(blue.kind(), Color::Kind::sRGB);
  EXPECT_DOUBLE_EQ(blue.redComponent(), 0.2);
  EXPECT_DOUBLE_EQ(blue.greenComponent(), 0.26);
  EXPECT_DOUBLE_EQ(blue.blueComponent(), 0.42);
  EXPECT_DOUBLE_EQ(blue.alpha(), 1.0);
  // The cards' translucency comes from the use, not from the colour.
  EXPECT_DOUBLE_EQ(panelBlue().opacity(0.6).alpha(), 0.6);
  EXPECT_DOUBLE_EQ(panelBlue().alpha(), 1.0);
}

// Two first uses that race still make each colour once: every reader gets the same object.
TEST(AppColors, ConcurrentFirstUseSeesOneColour) {
  constexpr int kThreads = 8;
  std::vector<const Color*> golds(kThreads);
  std::vector<const Color*> blues(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([i, &golds, &blues] {
      golds[i] = &accentGold();
      blues[i] = &panelBlue();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(golds[i], &accentGold());
    EXPECT_EQ(blues[i], &panelBlue());
  }
  EXPECT_EQ(*golds[0], Color::sRGB(1.0, 0.7, 0.0, 1.0));
}

}  // namespace
}  // namespace dunvel
