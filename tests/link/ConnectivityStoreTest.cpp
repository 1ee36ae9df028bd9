#include "link/ConnectivityStore.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/runloop/ManualRunLoop.h"
#include "support/RecordingSession.h"

namespace dunvel {
namespace {

// What an observer saw at one announcement: the values still stored at that moment.
struct Announcement {
  std::thread::id thread;
  std::string screen;
  bool reachable;
};

class ConnectivityStoreTest : public ::testing::Test {
 protected:
  void observe(ConnectivityStore& store) {
    subscription_ = store.objectWillChange().sink([this, &store] {
      announcements.push_back(
          Announcement{std::this_thread::get_id(), store.state->screen, store.reachable});
    });
  }

  ManualRunLoop loop;
  RecordingSession session;
  std::vector<Announcement> announcements;
  const std::thread::id mainThread = std::this_thread::get_id();

 private:
  Cancellable subscription_;
};

ContextDictionary screen(const std::string& name) {
  return {{"screen", name}};
}

TEST_F(ConnectivityStoreTest, ConstructionSetsUpASupportedSessionInOrderWithDefaults) {
  session.setReceivedApplicationContext(screen("board"));
  session.setReachable(true);
  ConnectivityStore store(session.platform(loop));

  EXPECT_EQ(session.callNames(), (std::vector<std::string>{"isSupported", "defaultSession",
                                                           "setDelegate", "activateSession"}));
  EXPECT_EQ(session.delegate(), &store);
  // Neither the context on hand nor reachability is read before activation completes.
  EXPECT_EQ(store.state.get(), GameState{});
  EXPECT_EQ(store.state->screen, "idle");
  EXPECT_FALSE(store.reachable);
  EXPECT_EQ(loop.pending(), 0u);
}

TEST_F(ConnectivityStoreTest, UnsupportedSessionIsNeverTouchedAndTheDefaultsStay) {
  session.setReachable(true);
  ConnectivityStore store(session.platform(loop, /*supported=*/false));
  observe(store);

  store.send("reveal");
  store.send("award", {{"teamId", "t1"}});
  loop.drain();

  EXPECT_EQ(session.callNames(), std::vector<std::string>{"isSupported"});
  EXPECT_EQ(session.delegate(), nullptr);
  EXPECT_TRUE(session.sentMessages().empty());
  EXPECT_EQ(store.state.get(), GameState{});
  EXPECT_FALSE(store.reachable);
  EXPECT_TRUE(announcements.empty());
}

TEST_F(ConnectivityStoreTest, ActivationAssignsTheContextOnHandBeforeRefreshingReachability) {
  session.setReceivedApplicationContext(screen("board"));
  session.setReachable(true);
  ConnectivityStore store(session.platform(loop));
  observe(store);

  // An activation that failed is handled exactly like one that succeeded.
  session.deliverActivation(ActivationState::notActivated, "activation failed");
  EXPECT_TRUE(announcements.empty()) << "nothing may be assigned on the platform thread";
  EXPECT_EQ(loop.pending(), 2u);

  EXPECT_TRUE(loop.step());
  EXPECT_EQ(store.state->screen, "board");
  EXPECT_FALSE(store.reachable);

  EXPECT_TRUE(loop.step());
  EXPECT_TRUE(store.reachable);

  ASSERT_EQ(announcements.size(), 2u);
  EXPECT_EQ(announcements[0].screen, "idle");  // announced before the snapshot was stored
  EXPECT_FALSE(announcements[0].reachable);
  EXPECT_EQ(announcements[1].screen, "board");
  EXPECT_FALSE(announcements[1].reachable);  // announced before reachable was stored

  // The context was read on the platform thread, reachability on main when its block ran.
  for (const auto& call : session.calls()) {
    if (call.name == "receivedApplicationContext") {
      EXPECT_NE(call.thread, mainThread);
    }
    if (call.name == "isReachable") {
      EXPECT_EQ(call.thread, mainThread);
    }
  }
}

TEST_F(ConnectivityStoreTest, ActivationWithNoContextEverReceivedStillReplacesAndAnnounces) {
  ConnectivityStore store(session.platform(loop));
  session.deliverMessage(
      {{"screen", "board"}, {"teams", ContextArray{ContextDictionary{{"id", "a"}}}}});
  loop.drain();
  ASSERT_EQ(store.state->teams.size(), 1u);

  observe(store);
  session.deliverActivation();
  loop.drain();
  EXPECT_EQ(store.state.get(), GameState{});
  EXPECT_EQ(announcements.size(), 2u);  // the snapshot and reachable, both unchanged in value
}

TEST_F(ConnectivityStoreTest, SnapshotsApplyWholeInArrivalOrderAndTheLastWins) {
  ConnectivityStore store(session.platform(loop));

  // A context followed by a message: the message's snapshot is shown...
  session.deliverApplicationContext(
      {{"screen", "question"}, {"teams", ContextArray{ContextDictionary{{"id", "a"}}}}});
  session.deliverMessage(screen("board"));
  loop.drain();
  EXPECT_EQ(store.state->screen, "board");
  EXPECT_TRUE(store.state->teams.empty()) << "a snapshot without teams clears them";

  // ...and a message followed by a context: the context's.
  session.deliverMessage(screen("answer"));
  session.deliverApplicationContext(screen("tournament"));
  loop.drain();
  EXPECT_EQ(store.state->screen, "tournament");

  // Many snapshots from one platform thread: applied in order, the last one is what main ends
  // with.
  observe(store);
  constexpr int kSnapshots = 200;
  session.deliverOnPlatformThread([](SessionDelegate& delegate, Session& link) {
    for (int i = 0; i < kSnapshots; ++i) {
      delegate.sessionDidReceiveApplicationContext(link, {{"questionPoints", i}});
    }
  });
  EXPECT_EQ(loop.drain(), static_cast<std::size_t>(kSnapshots));
  EXPECT_EQ(store.state->questionPoints, kSnapshots - 1);
  EXPECT_EQ(store.state->screen, "idle");  // every snapshot replaces the whole state
  ASSERT_EQ(announcements.size(), static_cast<std::size_t>(kSnapshots));
  for (const auto& announcement : announcements) EXPECT_EQ(announcement.thread, mainThread);
}

TEST_F(ConnectivityStoreTest, EveryAssignmentAnnouncesOnMainEvenWhenNothingChanges) {
  ConnectivityStore store(session.platform(loop));
  observe(store);

  std::vector<std::thread::id> platformThreads;
  platformThreads.push_back(
      session.deliverOnPlatformThread([](SessionDelegate& delegate, Session& link) {
        delegate.sessionReachabilityDidChange(link);
      }));
  session.deliverApplicationContext(screen("idle"));
  session.deliverApplicationContext(screen("idle"));
  EXPECT_TRUE(announcements.empty());
  loop.drain();

  // Three assignments of values equal to the ones stored: three announcements.
  ASSERT_EQ(announcements.size(), 3u);
  for (const auto& announcement : announcements) {
    EXPECT_EQ(announcement.thread, mainThread);
    EXPECT_EQ(announcement.screen, "idle");
    EXPECT_FALSE(announcement.reachable);
  }
  EXPECT_NE(platformThreads.front(), mainThread);
}

TEST_F(ConnectivityStoreTest, RefreshReadsReachabilityWhenItsBlockRuns) {
  ConnectivityStore store(session.platform(loop));
  session.setReachable(true);
  session.deliverReachabilityChange();
  loop.drain();
  ASSERT_TRUE(store.reachable);

  // Reachable when the callback arrived, unreachable by the time main runs the refresh.
  session.deliverReachabilityChange();
  session.setReachable(false);
  loop.drain();
  EXPECT_FALSE(store.reachable);
}

TEST_F(ConnectivityStoreTest, SendAsksTheSessionNowNotThePublishedFlag) {
  ConnectivityStore store(session.platform(loop));
  observe(store);

  // Published reachable still false (never refreshed), session reachable: sent.
  session.setReachable(true);
  store.send("reveal");
  ASSERT_EQ(session.sentMessages().size(), 1u);

  // Published reachable true, session unreachable by now: dropped.
  session.deliverReachabilityChange();
  loop.drain();
  ASSERT_TRUE(store.reachable);
  announcements.clear();
  session.setReachable(false);
  store.send("noAnswer");
  EXPECT_EQ(session.sentMessages().size(), 1u);

  // send changes no published field and queues nothing.
  EXPECT_TRUE(announcements.empty());
  EXPECT_EQ(loop.pending(), 0u);
}

TEST_F(ConnectivityStoreTest, SendBuildsExactlyTheCommandMessage) {
  ConnectivityStore store(session.platform(loop));
  session.setReachable(true);

  store.send("reveal");
  store.send("noAnswer");
  store.send("award", {{"teamId", ""}});
  store.send("reveal");
  store.send("award", {{"action", "noAnswer"}, {"teamId", "t2"}});

  const std::vector<ContextDictionary> expected{
      {{"action", "reveal"}},
      {{"action", "noAnswer"}},
      {{"action", "award"}, {"teamId", ""}},       // an empty team id is still sent
      {{"action", "reveal"}},                      // the same command twice is two messages
      {{"action", "noAnswer"}, {"teamId", "t2"}},  // an "action" in extra wins
  };
  EXPECT_EQ(session.sentMessages(), expected);

  // Each send asked the session right before handing the message over.
  std::vector<std::string> sendCalls;
  for (const auto& name : session.callNames()) {
    if (name == "isReachable" || name == "sendMessage") sendCalls.push_back(name);
  }
  std::vector<std::string> expectedCalls;
  for (int i = 0; i < 5; ++i) {
    expectedCalls.push_back("isReachable");
    expectedCalls.push_back("sendMessage");
  }
  EXPECT_EQ(sendCalls, expectedCalls);
}

TEST_F(ConnectivityStoreTest, RefusesAnIncompletePlatform) {
  SessionPlatform noQueue = session.platform(loop);
  noQueue.mainQueue = nullptr;
  EXPECT_THROW(ConnectivityStore{noQueue}, std::logic_error);

  SessionPlatform noSession = session.platform(loop);
  noSession.defaultSession = nullptr;
  EXPECT_THROW(ConnectivityStore{noSession}, std::logic_error);
  EXPECT_EQ(session.delegate(), nullptr);
}

}  // namespace
}  // namespace dunvel
