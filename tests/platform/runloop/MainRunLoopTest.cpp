#include "platform/runloop/MainRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/runloop/MainThreadWaiter.h"

namespace dunvel {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// Sleeps on a condition variable, as a window's event wait would, and records what the loop
// asked of it.
class RecordingWaiter final : public MainThreadWaiter {
 public:
  void wait(std::optional<SteadyClock::time_point> deadline) override {
    std::unique_lock lock(mutex_);
    deadlines_.push_back(deadline);
    if (deadline) {
      woken_.wait_until(lock, *deadline, [this] { return pending_; });
    } else {
      woken_.wait(lock, [this] { return pending_; });
    }
    pending_ = false;
  }
  void wake() override {
    std::lock_guard lock(mutex_);
    ++wakes_;
    pending_ = true;
    woken_.notify_one();
  }
  int wakes() const {
    std::lock_guard lock(mutex_);
    return wakes_;
  }
  std::vector<std::optional<SteadyClock::time_point>> deadlines() const {
    std::lock_guard lock(mutex_);
    return deadlines_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable woken_;
  bool pending_ = false;
  int wakes_ = 0;
  std::vector<std::optional<SteadyClock::time_point>> deadlines_;
};

TEST(MainRunLoop, RunsBlocksFromManyThreadsOneAtATimeInQueueOrderOnTheRunThread) {
  MainRunLoop loop;
  constexpr int kProducers = 4;
  constexpr int kBlocksEach = 500;

  // Touched only by blocks, that is only on the run thread: ThreadSanitizer checks that the
  // queue hands them over properly.
  std::vector<std::vector<int>> seen(kProducers);
  std::vector<std::thread::id> ranOn;
  bool inside = false;
  bool overlapped = false;

  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kBlocksEach; ++i) {
        loop.async([&, p, i] {
          if (inside) overlapped = true;
          inside = true;
          seen[p].push_back(i);
          ranOn.push_back(std::this_thread::get_id());
          inside = false;
        });
      }
    });
  }
  // Queued after every producer's last block, so it runs last when the queue is FIFO.
  std::thread closer([&] {
    for (auto& producer : producers) producer.join();
    loop.async([&] { loop.stop(); });
  });

  loop.run();
  closer.join();

  EXPECT_FALSE(overlapped);
  for (int p = 0; p < kProducers; ++p) {
    ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kBlocksEach)) << "producer " << p;
    for (int i = 0; i < kBlocksEach; ++i) ASSERT_EQ(seen[p][i], i) << "producer " << p;
  }
  for (const auto& id : ranOn) ASSERT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(loop.pendingBlocks(), 0u);
}

TEST(MainRunLoop, StopEndsAnIdleRunFromAnotherThreadAndIsFinal) {
  {
    // Idle with no timer at all: run() sleeps until stop() wakes it.
    MainRunLoop loop;
    std::atomic<bool> running{false};
    loop.async([&] { running = true; });
    std::thread stopper([&] {
      while (!running) std::this_thread::yield();
      loop.stop();
    });
    loop.run();
    stopper.join();
    EXPECT_TRUE(running);
  }
  {
    // Idle with a timer an hour away: stop() must not wait for the deadline.
    MainRunLoop loop;
    int fired = 0;
    auto timer = loop.scheduleRepeating(1h, [&] { ++fired; });
    std::thread stopper([&] { loop.stop(); });
    loop.run();
    stopper.join();
    EXPECT_EQ(fired, 0);
  }
  {
    // A stop() before run() is not lost; blocks still queued are not run.
    MainRunLoop loop;
    bool ran = false;
    loop.stop();
    loop.async([&] { ran = true; });
    loop.run();
    EXPECT_FALSE(ran);
    EXPECT_EQ(loop.pendingBlocks(), 1u);
  }
}

TEST(MainRunLoop, TimersFireOnTheRunThreadAndStopWhenCancelledFromAnywhereOnMain) {
  MainRunLoop loop;
  const auto mainThread = std::this_thread::get_id();
  int selfCancelling = 0;
  int cancelledByOther = 0;
  int cancelledByBlock = 0;
  int closing = 0;
  bool offMain = false;

  Cancellable victim;
  // Cancelled by a block that its first fire queues: that block runs before the timer is due
  // again, so it fires exactly once.
  Cancellable byBlock;
  byBlock = loop.scheduleRepeating(1ms, [&] {
    ++cancelledByBlock;
    loop.async([&] { byBlock.cancel(); });
  });

  Cancellable closer;
  Cancellable self;
  self = loop.scheduleRepeating(1ms, [&] {
    if (std::this_thread::get_id() != mainThread) offMain = true;
    ++selfCancelling;
    if (selfCancelling == 1) victim.cancel();  // another timer, cancelled from inside a fire
    if (selfCancelling == 3) {
      self.cancel();  // its own handle, from inside its own fire
      // Two more fires of another timer: time enough for a surviving 1 ms timer to fire again.
      closer = loop.scheduleRepeating(2ms, [&] {
        if (++closing == 2) loop.stop();
      });
    }
  });
  victim = loop.scheduleRepeating(1ms, [&] { ++cancelledByOther; });

  loop.run();

  EXPECT_FALSE(offMain);
  EXPECT_EQ(selfCancelling, 3);
  EXPECT_EQ(closing, 2);
  EXPECT_EQ(cancelledByBlock, 1);
  // The victim was scheduled after self with the same interval: self fires first.
  EXPECT_EQ(cancelledByOther, 0);
}

TEST(MainRunLoop, AOneShotFiresOnceOnTheRunThreadAndACancelledOneNever) {
  MainRunLoop loop;
  const auto mainThread = std::this_thread::get_id();
  int once = 0;
  int cancelled = 0;
  bool offMain = false;
  auto first = loop.scheduleOnce(1ms, [&] {
    ++once;
    if (std::this_thread::get_id() != mainThread) offMain = true;
  });
  auto never = loop.scheduleOnce(2ms, [&] { ++cancelled; });
  never.cancel();
  // Long enough for a one-shot that kept repeating to fire again many times.
  auto end = loop.scheduleOnce(30ms, [&] { loop.stop(); });
  loop.run();
  EXPECT_EQ(once, 1);
  EXPECT_EQ(cancelled, 0);
  EXPECT_FALSE(offMain);
}

TEST(MainRunLoop, AnExternalWaiterSleepsUntilTheNextTimerAndIsWokenByOtherThreadsOnly) {
  MainRunLoop loop;
  Cancellable hourly;
  std::thread producer;
  const auto start = SteadyClock::now();
  int ran = 0;
  loop.async([&] {
    ++ran;
    // From the run thread no wake is needed: the loop looks at its queue before it sleeps.
    hourly = loop.scheduleRepeating(1h, [] {});
    loop.async([&] {
      ++ran;
      producer = std::thread([&] {
        std::this_thread::sleep_for(20ms);  // the loop is asleep in the waiter by then
        loop.async([&] {
          ++ran;
          loop.stop();
        });
      });
    });
  });
  RecordingWaiter waiter;
  loop.setWaiter(&waiter);
  loop.run();
  producer.join();

  EXPECT_EQ(ran, 3);
  EXPECT_EQ(waiter.wakes(), 1) << "only the other thread's block wakes the waiter";
  const auto deadlines = waiter.deadlines();
  ASSERT_FALSE(deadlines.empty());
  for (const auto& deadline : deadlines) {
    ASSERT_TRUE(deadline.has_value()) << "each wait is bounded by the hourly timer";
    EXPECT_GT(*deadline, start + 59min);
  }

  // Without a waiter the loop sleeps on its own again.
  MainRunLoop second;
  second.setWaiter(&waiter);
  second.setWaiter(nullptr);
  std::thread stopper([&] {
    std::this_thread::sleep_for(10ms);
    second.stop();
  });
  second.run();
  stopper.join();
  EXPECT_EQ(waiter.wakes(), 1);
}

TEST(MainRunLoop, BeforeTimersRunsAfterTheBlocksThatRanAndBeforeEachFire) {
  {
    MainRunLoop loop;
    std::vector<std::string> log;
    bool owed = false;  // work a block leaves, to be done before time moves on
    auto prepare = loop.beforeTimers([&] {
      log.push_back(owed ? "prepare, catching up" : "prepare");
      owed = false;
    });
    auto gone = loop.beforeTimers([&] { log.push_back("gone"); });
    gone.cancel();
    int ticks = 0;
    auto timer = loop.scheduleRepeating(1ms, [&] {
      log.push_back(owed ? "tick, behind" : "tick");
      if (++ticks == 3) {
        loop.stop();
        return;
      }
      // The next tick falls due while this block runs.
      loop.async([&] {
        std::this_thread::sleep_for(2ms);
        owed = true;
      });
    });
    loop.run();
    // The last one: what is owed is done before the loop ends, also without a timer to come.
    EXPECT_EQ(log, (std::vector<std::string>{"prepare", "tick", "prepare, catching up", "tick",
                                             "prepare, catching up", "tick", "prepare"}));
  }
  {
    // A timer that the observer cancels does not fire.
    MainRunLoop loop;
    int fired = 0;
    Cancellable timer;
    auto prepare = loop.beforeTimers([&] {
      timer.cancel();
      loop.async([&] { loop.stop(); });
    });
    timer = loop.scheduleRepeating(1ms, [&] { ++fired; });
    loop.run();
    EXPECT_EQ(fired, 0);
  }
  {
    // A block that leaves work owed and stops the loop, with no timer at all: the work is done
    // before run() returns (a companion ended right after a snapshot still shows it).
    MainRunLoop loop;
    bool owed = false;
    auto prepare = loop.beforeTimers([&] { owed = false; });
    loop.async([&] {
      owed = true;
      loop.stop();
    });
    loop.run();
    EXPECT_FALSE(owed);
  }
}

TEST(MainRunLoop, RefusesNonPositiveIntervalsAndOutlivedHandlesAreHarmless) {
  Cancellable survivor;
  {
    MainRunLoop loop;
    EXPECT_THROW((void)loop.scheduleRepeating(0ns, [] {}), std::invalid_argument);
    EXPECT_THROW((void)loop.scheduleRepeating(-1s, [] {}), std::invalid_argument);
    survivor = loop.scheduleRepeating(1s, [] {});
    loop.async([] {});
  }
  EXPECT_TRUE(static_cast<bool>(survivor));
  survivor.cancel();  // the loop is gone: a no-op, not a use after free
  EXPECT_FALSE(static_cast<bool>(survivor));
}

TEST(MainRunLoop, WaitUntilPendingAtMostHoldsAProducerBackUntilTheQueueShrinks) {
  MainRunLoop loop;
  constexpr int kBlocks = 10;
  std::atomic<int> ran{0};
  for (int i = 0; i < kBlocks; ++i) loop.async([&] { ++ran; });
  EXPECT_EQ(loop.pendingBlocks(), static_cast<std::size_t>(kBlocks));

  int ranWhenReleased = -1;
  std::size_t pendingWhenReleased = 99;
  std::thread producer([&] {
    loop.waitUntilPendingAtMost(2);
    ranWhenReleased = ran;
    pendingWhenReleased = loop.pendingBlocks();
    loop.async([&] { loop.stop(); });
  });

  // On the run thread itself the wait returns at once instead of waiting for itself.
  loop.async([&] { loop.waitUntilPendingAtMost(0); });
  loop.run();
  producer.join();

  EXPECT_GE(ranWhenReleased, kBlocks - 2);
  EXPECT_LE(pendingWhenReleased, 2u);
  EXPECT_EQ(ran, kBlocks);

  // A stopped loop releases waiters even with blocks still queued.
  MainRunLoop stopped;
  stopped.async([] {});
  stopped.async([] {});
  std::thread waiter([&] { stopped.waitUntilPendingAtMost(0); });
  stopped.stop();
  waiter.join();
  EXPECT_EQ(stopped.pendingBlocks(), 2u);
}

}  // namespace
}  // namespace dunvel
