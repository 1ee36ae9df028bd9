#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "TestStore.h"
#include "platform/runloop/ManualRunLoop.h"
#include "views/toolkit/Environment.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"
#include "views/toolkit/State.h"
#include "views/toolkit/Timer.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

using namespace std::chrono_literals;

constexpr double start = 1000.0;

TEST(TimerPublisher, RunsExactlyWhileItHasSubscribersAndCarriesTheDate) {
  ManualRunLoop loop(Date{start});
  TimerPublisher tick =
      Timer::publish(1.0s, std::nullopt, RunLoop(loop), RunLoopMode::common).autoconnect();
  EXPECT_EQ(loop.timerCount(), 0u) << "autoconnect starts nothing by itself";

  std::vector<double> first;
  std::vector<double> second;
  Cancellable a = tick.sink([&first](Date d) { first.push_back(d.timeIntervalSince1970); });
  EXPECT_EQ(loop.timerCount(), 1u);
  loop.advance(1.5);
  Cancellable b = tick.sink([&second](Date d) { second.push_back(d.timeIntervalSince1970); });
  EXPECT_EQ(loop.timerCount(), 1u) << "subscribers share one timer";
  loop.advance(1.0);
  EXPECT_EQ(first, (std::vector<double>{start + 1, start + 2}));
  EXPECT_EQ(second, (std::vector<double>{start + 2}));

  a.cancel();
  EXPECT_EQ(loop.timerCount(), 1u);
  b.cancel();
  EXPECT_EQ(loop.timerCount(), 0u) << "the last subscriber leaving stops the timer";
  loop.advance(5.0);
  EXPECT_EQ(first.size(), 2u);

  // A subscriber cancelled during a tick by another is not called afterwards.
  Cancellable victim;
  int victimCalls = 0;
  Cancellable killer = tick.sink([&victim](Date) { victim.cancel(); });
  victim = tick.sink([&victimCalls](Date) { ++victimCalls; });
  loop.advance(1.0);
  EXPECT_EQ(victimCalls, 0);
  killer.cancel();
  EXPECT_EQ(loop.timerCount(), 0u);

  // Publishers built alike are the same stream; another interval is not.
  EXPECT_EQ(tick,
            Timer::publish(1.0s, std::nullopt, RunLoop(loop), RunLoopMode::common).autoconnect());
  EXPECT_FALSE(
      tick == Timer::publish(2.0s, std::nullopt, RunLoop(loop), RunLoopMode::common).autoconnect());
}

TEST(TimerPublisher, RejectsIntervalsNoTimerCanKeep) {
  ManualRunLoop loop;
  RunLoop runLoop(loop);
  const double nan = std::nan("");
  EXPECT_THROW(Timer::publish(0s, std::nullopt, runLoop, RunLoopMode::common),
               std::invalid_argument);
  EXPECT_THROW(Timer::publish(-1.0s, std::nullopt, runLoop, RunLoopMode::common),
               std::invalid_argument);
  EXPECT_THROW(Timer::publish(std::chrono::duration<double>(nan), std::nullopt, runLoop,
                              RunLoopMode::common),
               std::invalid_argument);
  EXPECT_THROW(Timer::publish(std::chrono::duration<double>(1e300), std::nullopt, runLoop,
                              RunLoopMode::common),
               std::invalid_argument);
  EXPECT_THROW(
      Timer::publish(1.0s, std::chrono::duration<double>(-0.1), runLoop, RunLoopMode::common),
      std::invalid_argument);
  EXPECT_NO_THROW(Timer::publish(1.0s, 0.1s, runLoop, RunLoopMode::common));
}

// A clock screen in miniature: now is view-local state set by each tick.
struct Ticking {
  State<Date> now;
  TimerPublisher tick;
  std::vector<double>* ticks;
  auto states() { return std::tie(now); }
  Node body() const {
    return Text(Verbatim{std::to_string(static_cast<long long>(now.get().timeIntervalSince1970))})
        .onReceive(tick, [self = *this](Date date) {
          self.ticks->push_back(date.timeIntervalSince1970);
          self.now.set(date);
        });
  }
};

// Rebuilds the ticking view and its publisher at every evaluation, as a router does; shows it
// while the store's flag is set.
struct Router {
  EnvironmentObject<TestStore> store;
  std::vector<double>* ticks;
  Node body() const {
    const EnvironmentValues& env = Environment::current();
    (void)store->value.get();
    return If(
        store->flag.get(),
        View(Ticking{env.clock().now(),
                     Timer::publish(1.0s, std::nullopt, env.mainRunLoop(), RunLoopMode::common)
                         .autoconnect(),
                     ticks}),
        Text(LocalizedStringKey{"idle"}));
  }
};

TEST(OnReceive, FrequentReEvaluationDoesNotRestartTheTickCadence) {
  ManualRunLoop loop(Date{start});
  TestStore store;
  std::vector<double> ticks;
  EnvironmentValues env;
  env.setClock(loop).setTimerScheduler(loop);
  ViewGraph graph(View(Router{{}, &ticks}).environmentObject(store), env, loop);
  graph.evaluate();
  EXPECT_EQ(loop.timerCount(), 1u);

  // A snapshot every 100 ms for five seconds: each one re-evaluates the screen.
  const std::size_t before = graph.stats().evaluations;
  for (int i = 1; i <= 50; ++i) {
    loop.advance(0.1);
    store.value = i;
    loop.drain();
  }
  EXPECT_GE(graph.stats().evaluations, before + 50);
  EXPECT_EQ(ticks, (std::vector<double>{start + 1, start + 2, start + 3, start + 4, start + 5}));
  EXPECT_EQ(loop.timerCount(), 1u) << "one subscription, one timer";
  EXPECT_NE(graph.tree().findText("1005"), nullptr) << "the handler of the latest view runs";

  // Leaving the screen ends the subscription and stops the timer.
  store.flag = false;
  loop.drain();
  EXPECT_EQ(loop.timerCount(), 0u);
  loop.advance(3.0);
  EXPECT_EQ(ticks.size(), 5u);

  // Coming back subscribes afresh: a new cadence from the moment it returns, and a new now.
  loop.advance(0.5);
  store.flag = true;
  loop.drain();
  EXPECT_EQ(loop.timerCount(), 1u);
  EXPECT_NE(graph.tree().findText("1008"), nullptr);
  loop.advance(1.0);
  EXPECT_EQ(ticks.back(), start + 9.5);
}

}  // namespace
}  // namespace dunvel
