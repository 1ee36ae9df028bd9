#include "platform/link/LinkHolder.h"

#include <gtest/gtest.h>

#include <vector>

namespace dunvel {
namespace {

// One host at a time across both ways in; remote hosts that came before activation are answered
// by the first activation only, in the order they came, and every one still known is closed on
// stop.
TEST(LinkHolder, OneHostAtATimeAndTheWaitingAnsweredInTheirOrderOnce) {
  LinkHolder holder;
  holder.wait(7);
  holder.wait(8);
  holder.wait(9);
  holder.forget(8);
  const LinkHolder::Activation first = holder.activate();
  EXPECT_TRUE(first.first);
  EXPECT_EQ(first.waiting, (std::vector<RemoteHostId>{7, 9}));
  const LinkHolder::Activation again = holder.activate();
  EXPECT_FALSE(again.first);
  EXPECT_TRUE(again.waiting.empty());

  EXPECT_TRUE(holder.isFree());
  holder.giveToSocketHost();
  EXPECT_FALSE(holder.isFree());
  EXPECT_FALSE(holder.remoteHost());
  holder.release();
  holder.giveToRemoteHost(9);
  EXPECT_TRUE(holder.heldBy(9));
  EXPECT_FALSE(holder.heldBy(7));
  EXPECT_EQ(holder.remoteHost(), RemoteHostId{9});

  LinkHolder stopping;
  stopping.wait(3);
  stopping.giveToRemoteHost(4);
  EXPECT_EQ(stopping.releaseAll(), (std::vector<RemoteHostId>{3, 4}));
  EXPECT_TRUE(stopping.isFree());
  EXPECT_TRUE(stopping.releaseAll().empty());
}

}  // namespace
}  // namespace dunvel
