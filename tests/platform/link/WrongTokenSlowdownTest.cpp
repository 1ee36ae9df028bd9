#include "platform/link/WrongTokenSlowdown.h"

#include <gtest/gtest.h>

namespace dunvel {
namespace {

using std::chrono::milliseconds;

// How long the address stays slowed down from now, to the nearest 100 ms step checked.
milliseconds slowedFor(const WrongTokenSlowdown& slowdown, const std::string& address,
                       WrongTokenSlowdown::Clock::time_point now) {
  milliseconds left{0};
  while (left < milliseconds(20'000) && slowdown.slowedDown(address, now + left)) {
    left += milliseconds(100);
  }
  return left;
}

// A person retyping a token is refused plainly a couple of times; a guesser from one address
// waits twice as long after each further guess, up to ten seconds; other addresses and the right
// token are not held up by it.
TEST(WrongTokenSlowdown, DoublesPerAddressFromTheThirdGuessAndForgetsOnTheRightToken) {
  WrongTokenSlowdown slowdown;
  const auto start = WrongTokenSlowdown::Clock::time_point() + std::chrono::hours(1);
  auto now = start;
  slowdown.wrongToken("10.0.0.1", now);
  slowdown.wrongToken("10.0.0.1", now);
  EXPECT_FALSE(slowdown.slowedDown("10.0.0.1", now));
  const milliseconds expected[] = {milliseconds(1000), milliseconds(2000),   milliseconds(4000),
                                   milliseconds(8000), milliseconds(10'000), milliseconds(10'000)};
  for (const milliseconds wait : expected) {
    // Each guess comes after the second of the rate across addresses has passed.
    now += std::chrono::seconds(2);
    slowdown.wrongToken("10.0.0.1", now);
    EXPECT_EQ(slowedFor(slowdown, "10.0.0.1", now), wait);
  }
  EXPECT_FALSE(slowdown.slowedDown("10.0.0.2", now));
  slowdown.rightToken("10.0.0.1");
  EXPECT_FALSE(slowdown.slowedDown("10.0.0.1", now));
  slowdown.wrongToken("10.0.0.1", now + std::chrono::seconds(2));
  EXPECT_FALSE(slowdown.slowedDown("10.0.0.1", now + std::chrono::seconds(2)));
}

// Guessing from many addresses at once (127.0.x.y all reach this machine) gains nothing: past
// twenty wrong tokens in a second every address is slowed down for a second.
TEST(WrongTokenSlowdown, SlowsEveryAddressPastTwentyGuessesInASecond) {
  WrongTokenSlowdown slowdown;
  const auto now = WrongTokenSlowdown::Clock::time_point() + std::chrono::hours(1);
  for (int i = 0; i < 20; ++i) slowdown.wrongToken("127.0.0." + std::to_string(i), now);
  EXPECT_FALSE(slowdown.slowedDown("127.0.1.1", now));
  slowdown.wrongToken("127.0.0.99", now);
  EXPECT_TRUE(slowdown.slowedDown("127.0.1.1", now));
  EXPECT_FALSE(slowdown.slowedDown("127.0.1.1", now + std::chrono::seconds(1)));
}

}  // namespace
}  // namespace dunvel
