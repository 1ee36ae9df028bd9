#include "platform/runloop/ManualRunLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dunvel {
namespace {

using namespace std::chrono_literals;

struct Fire {
  std::string timer;
  double at;
  friend bool operator==(const Fire&, const Fire&) = default;
};

std::ostream& operator<<(std::ostream& out, const Fire& fire) {
  return out << fire.timer << "@" << fire.at;
}

TEST(ManualRunLoop, TimersFireAtTheirVirtualDeadlinesInDeadlineOrder) {
  ManualRunLoop loop(Date{1000.0});
  std::vector<Fire> fires;
  auto a = loop.scheduleRepeating(1s, [&] {
    fires.push_back({"a", loop.now().timeIntervalSince1970});
  });
  auto b = loop.scheduleRepeating(1500ms, [&] {
    fires.push_back({"b", loop.now().timeIntervalSince1970});
  });

  loop.advance(0.999);
  EXPECT_TRUE(fires.empty());
  EXPECT_DOUBLE_EQ(loop.now().timeIntervalSince1970, 1000.999);

  loop.advance(2.001);
  // At 3.0 both fall due: the one scheduled first fires first.
  const std::vector<Fire> expected{
      {"a", 1001.0}, {"b", 1001.5}, {"a", 1002.0}, {"a", 1003.0}, {"b", 1003.0}};
  EXPECT_EQ(fires, expected);
  EXPECT_EQ(loop.now(), Date{1003.0});
  EXPECT_EQ(loop.uptime(), 3s);

  // Setting the wall clock moves no deadline: a keeps its monotonic cadence.
  fires.clear();
  b.cancel();
  loop.advance(0.25);
  loop.setNow(Date{5000.0});
  loop.advance(1.0);
  EXPECT_EQ(fires, (std::vector<Fire>{{"a", 5000.75}}));
  EXPECT_EQ(loop.now(), Date{5001.0});
}

TEST(ManualRunLoop, AOneShotFiresOnceAtItsDeadlineUnlessCancelledAndMaySetItselfAgain) {
  ManualRunLoop loop(Date{1000.0});
  std::vector<Fire> fires;
  auto once = loop.scheduleOnce(2s, [&] {
    fires.push_back({"once", loop.now().timeIntervalSince1970});
  });
  auto cancelled = loop.scheduleOnce(1s, [&] { fires.push_back({"cancelled", 0}); });
  // Set again from inside its own fire, as a clock's turn of the minute is.
  Cancellable chain;
  std::function<void()> link = [&] {
    fires.push_back({"chain", loop.now().timeIntervalSince1970});
    if (fires.size() < 4) chain = loop.scheduleOnce(3s, link);
  };
  chain = loop.scheduleOnce(3s, link);
  EXPECT_EQ(loop.timerCount(), 3u);
  cancelled.cancel();

  loop.advance(1.999);
  EXPECT_TRUE(fires.empty());
  loop.advance(10.0);
  EXPECT_EQ(fires, (std::vector<Fire>{
                       {"once", 1002.0}, {"chain", 1003.0}, {"chain", 1006.0}, {"chain", 1009.0}}));
  EXPECT_EQ(loop.timerCount(), 0u) << "a one-shot that fired leaves no timer behind";
  once.cancel();  // after its fire: harmless

  // No positive delay: due at once, on the next advance, and never before it.
  bool now = false;
  auto atOnce = loop.scheduleOnce(-5s, [&] { now = true; });
  EXPECT_FALSE(now);
  loop.advance(0.0);
  EXPECT_TRUE(now);
}

TEST(ManualRunLoop, StepDrainAndAdvanceRunQueuedBlocksInOrder) {
  ManualRunLoop loop;
  std::vector<std::string> log;
  EXPECT_FALSE(loop.step());
  loop.async([&] { log.push_back("one"); });
  loop.async([&] {
    log.push_back("two");
    loop.async([&] { log.push_back("queued while draining"); });
  });
  loop.async([&] { log.push_back("three"); });
  EXPECT_EQ(loop.pending(), 3u);

  EXPECT_TRUE(loop.step());
  EXPECT_EQ(log, std::vector<std::string>{"one"});
  EXPECT_EQ(loop.pending(), 2u);

  EXPECT_EQ(loop.drain(), 3u);
  EXPECT_EQ(log, (std::vector<std::string>{"one", "two", "three", "queued while draining"}));
  EXPECT_EQ(loop.pending(), 0u);

  // advance drains before the first fire and after every fire, so a block queued by a fire sees
  // the clock of that fire, before the next timer.
  log.clear();
  loop.async([&] { log.push_back("before at " + std::to_string(loop.uptime().count())); });
  auto timer = loop.scheduleRepeating(2s, [&] {
    log.push_back("fire");
    loop.async([&] { log.push_back("block at " + std::to_string(loop.uptime().count())); });
  });
  loop.advance(4.0);
  EXPECT_EQ(log, (std::vector<std::string>{"before at 0", "fire", "block at 2000000000", "fire",
                                           "block at 4000000000"}));
}

TEST(ManualRunLoop, FireNextTimerFiresTheEarliestTimerAndLeavesBlocksQueued) {
  ManualRunLoop loop(Date{100.0});
  std::vector<Fire> fires;
  EXPECT_FALSE(loop.fireNextTimer());  // nothing scheduled: time stays
  EXPECT_EQ(loop.uptime(), 0ns);

  auto slow = loop.scheduleRepeating(3s, [&] {
    fires.push_back({"slow", loop.now().timeIntervalSince1970});
  });
  auto fast = loop.scheduleRepeating(2s, [&] {
    fires.push_back({"fast", loop.now().timeIntervalSince1970});
    loop.async([&] { fires.push_back({"block", loop.now().timeIntervalSince1970}); });
  });
  loop.async([&] { fires.push_back({"queued before", loop.now().timeIntervalSince1970}); });

  EXPECT_TRUE(loop.fireNextTimer());
  EXPECT_TRUE(loop.fireNextTimer());
  EXPECT_EQ(fires, (std::vector<Fire>{{"fast", 102.0}, {"slow", 103.0}}));
  EXPECT_EQ(loop.pending(), 2u);
  EXPECT_EQ(loop.uptime(), 3s);

  // The blocks then run in the order they were queued.
  fires.clear();
  loop.drain();
  EXPECT_EQ(fires, (std::vector<Fire>{{"queued before", 103.0}, {"block", 103.0}}));
}

TEST(ManualRunLoop, BeforeTimersObserversRunAtEachDeadlineAndCanCancelTheDueTimer) {
  ManualRunLoop loop(Date{0.0});
  std::vector<Fire> log;
  auto at = [&](std::string what) {
    log.push_back({std::move(what), loop.now().timeIntervalSince1970});
  };
  Cancellable doomed;
  auto prepare = loop.beforeTimers([&] { at("prepare"); });
  auto canceller = loop.beforeTimers([&] {
    if (loop.uptime() >= 1500ms) doomed.cancel();
  });
  auto gone = loop.beforeTimers([&] { at("gone"); });
  gone.cancel();
  auto tick = loop.scheduleRepeating(1s, [&] { at("tick"); });
  doomed = loop.scheduleRepeating(1500ms, [&] { at("doomed"); });

  // doomed falls due at 1.5, is cancelled by an observer there, and the tick carries on.
  loop.advance(2.0);
  EXPECT_TRUE(loop.fireNextTimer());
  EXPECT_EQ(log, (std::vector<Fire>{{"prepare", 1.0},
                                    {"tick", 1.0},
                                    {"prepare", 1.5},
                                    {"prepare", 2.0},
                                    {"tick", 2.0},
                                    {"prepare", 3.0},
                                    {"tick", 3.0}}));
  EXPECT_EQ(loop.timerCount(), 1u);
}

TEST(ManualRunLoop, CancellingFromInsideFiresAndBlocksStopsTimers) {
  ManualRunLoop loop;
  int selfFires = 0;
  int victimFires = 0;
  int blockCancelledFires = 0;
  Cancellable self;
  Cancellable victim;
  Cancellable blockCancelled;

  self = loop.scheduleRepeating(1s, [&] {
    ++selfFires;
    victim.cancel();  // due at the same moment, scheduled later: must not fire
    if (selfFires == 2) self.cancel();
  });
  victim = loop.scheduleRepeating(1s, [&] { ++victimFires; });
  blockCancelled = loop.scheduleRepeating(1s, [&] {
    ++blockCancelledFires;
    loop.async([&] { blockCancelled.cancel(); });
  });
  EXPECT_EQ(loop.timerCount(), 3u);

  loop.advance(5.0);
  EXPECT_EQ(selfFires, 2);
  EXPECT_EQ(victimFires, 0);
  EXPECT_EQ(blockCancelledFires, 1);
  EXPECT_EQ(loop.timerCount(), 0u);

  // A destroyed handle ends its timer too.
  int scoped = 0;
  {
    auto handle = loop.scheduleRepeating(1s, [&] { ++scoped; });
    loop.advance(1.0);
  }
  loop.advance(3.0);
  EXPECT_EQ(scoped, 1);
}

TEST(ManualRunLoop, RefusesBadDurationsWithoutMovingTime) {
  ManualRunLoop loop(Date{10.0});
  EXPECT_THROW(loop.advance(-0.5), std::invalid_argument);
  EXPECT_THROW(loop.advance(std::nan("")), std::invalid_argument);
  EXPECT_THROW(loop.advance(std::numeric_limits<double>::infinity()), std::invalid_argument);
  EXPECT_THROW(loop.advance(1e300), std::invalid_argument);
  EXPECT_THROW(loop.advance(-1ns), std::invalid_argument);
  EXPECT_THROW((void)loop.scheduleRepeating(0s, [] {}), std::invalid_argument);
  EXPECT_EQ(loop.now(), Date{10.0});
  EXPECT_EQ(loop.uptime(), 0ns);

  loop.advance(std::chrono::nanoseconds::max() - 1ns);
  EXPECT_THROW(loop.advance(2ns), std::invalid_argument);
}

TEST(ManualRunLoop, AsyncFromOtherThreadsIsSafeAndKeepsEachThreadsOrder) {
  ManualRunLoop loop;
  constexpr int kProducers = 4;
  constexpr int kBlocksEach = 500;
  std::vector<std::vector<int>> seen(kProducers);
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kBlocksEach; ++i) loop.async([&, p, i] { seen[p].push_back(i); });
    });
  }
  for (auto& producer : producers) producer.join();
  EXPECT_EQ(loop.pending(), static_cast<std::size_t>(kProducers * kBlocksEach));
  EXPECT_EQ(loop.drain(), static_cast<std::size_t>(kProducers * kBlocksEach));
  for (int p = 0; p < kProducers; ++p) {
    ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kBlocksEach));
    for (int i = 0; i < kBlocksEach; ++i) ASSERT_EQ(seen[p][i], i);
  }
}

}  // namespace
}  // namespace dunvel
