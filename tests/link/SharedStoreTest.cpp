// ConnectivityStore::shared() is process-wide: these tests have a program of their own, and the
// first must run before the second installs a platform.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link/ConnectivityStore.h"
#include "link/SessionPlatform.h"
#include "platform/runloop/ManualRunLoop.h"
#include "support/RecordingSession.h"

namespace dunvel {
namespace {

TEST(ConnectivityStoreShared, WithoutAnInstalledPlatformIsAClearError) {
  EXPECT_THROW(installedSessionPlatform(), std::logic_error);
  try {
    (void)ConnectivityStore::shared();
    FAIL() << "shared() without a platform must throw";
  } catch (const std::logic_error& error) {
    EXPECT_NE(std::string(error.what()).find("installSessionPlatform"), std::string::npos);
  }
}

TEST(ConnectivityStoreShared, ConcurrentFirstAccessCreatesExactlyOneStore) {
  // The store lives until the process ends, so what it refers to must too.
  static auto* const loop = new ManualRunLoop();
  static auto* const session = new RecordingSession();
  installSessionPlatform(session->platform(*loop));

  constexpr int kThreads = 8;
  std::vector<ConnectivityStore*> seen(kThreads, nullptr);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready < kThreads) std::this_thread::yield();  // all ask at about the same moment
      seen[i] = &ConnectivityStore::shared();
    });
  }
  for (auto& thread : threads) thread.join();

  for (auto* store : seen) EXPECT_EQ(store, seen.front());
  EXPECT_EQ(&ConnectivityStore::shared(), seen.front());
  EXPECT_EQ(session->delegate(), seen.front());
  // One construction: the session was set up once.
  EXPECT_EQ(session->callNames(), (std::vector<std::string>{"isSupported", "defaultSession",
                                                            "setDelegate", "activateSession"}));
}

}  // namespace
}  // namespace dunvel
