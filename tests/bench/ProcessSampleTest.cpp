#include "support/ProcessSample.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace dunvel::bench {
namespace {

TEST(ProcessSampleTest, CountsTheMainThreadsWakeUpsAndTheProcesssTime) {
  const ProcessSample before = sampleProcess(getpid());
  ASSERT_TRUE(before.ok);
  EXPECT_GT(before.vmRssKiB, 0);
  EXPECT_GE(before.vmHwmKiB, before.vmRssKiB);

  for (int i = 0; i < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  // 50 ms of this thread's own CPU time, however busy the machine is: a thread that still runs
  // counts towards the process's time, and a busy thread is not woken.
  const auto cpuNow = [] {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  };
  const double until = cpuNow() + 0.05;
  while (cpuNow() < until) {
  }
  const ProcessSample after = sampleProcess(getpid());
  EXPECT_GE(after.mainThreadWakeUps - before.mainThreadWakeUps, 5);
  EXPECT_GE(after.cpuSeconds - before.cpuSeconds, 0.04);
}

TEST(ProcessSampleTest, AProcessThatIsGoneIsNotOk) {
  EXPECT_FALSE(sampleProcess(0x3fffffff).ok);
}

}  // namespace
}  // namespace dunvel::bench
