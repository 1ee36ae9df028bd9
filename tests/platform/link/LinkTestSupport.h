#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/MainQueue.h"
#include "link/Session.h"

namespace dunvel::testing {

// Generous: these bound how long a broken test hangs, they never decide whether one passes.
inline constexpr std::chrono::seconds kDeadline{30};

// A private folder from mkdtemp, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The host's end of the link as a test drives it: blocking POSIX calls, each read bounded by
// kDeadline so a missing line fails the test instead of hanging it.
class TestHostSocket {
 public:
  // Connects or fails the test (a connection that cannot be made leaves the socket closed).
  explicit TestHostSocket(const std::filesystem::path& path);
  ~TestHostSocket();
  TestHostSocket(const TestHostSocket&) = delete;
  TestHostSocket& operator=(const TestHostSocket&) = delete;

  bool connected() const { return fd_ >= 0; }
  // Writes all bytes; false when the companion has gone.
  bool write(std::string_view bytes);
  // The next line without its newline; nothing on end of input or at the deadline.
  std::optional<std::string> readLine();
  // Whether the companion closed the connection (end of input before any further line).
  bool readsEndOfInput();
  void shutdownWriting();
  void close();

 private:
  int fd_ = -1;
  std::string buffered_;
};

// Records the session's callbacks and the thread each arrived on.
class RecordingDelegate final : public SessionDelegate {
 public:
  struct Event {
    std::string kind;  // "activation", "context", "message", "reachability"
    ContextDictionary dictionary;
    bool reachableThen = false;  // the session's isReachable when the callback arrived
    std::optional<std::string> error;
    std::thread::id thread;
  };

  void sessionActivationDidComplete(Session& session, ActivationState state,
                                    const std::optional<std::string>& error) override;
  void sessionDidReceiveApplicationContext(Session& session,
                                           const ContextDictionary& applicationContext) override;
  void sessionDidReceiveMessage(Session& session, const ContextDictionary& message) override;
  void sessionReachabilityDidChange(Session& session) override;

  // Waits until at least count events were recorded; returns a copy of all of them.
  std::vector<Event> waitForEvents(std::size_t count);
  std::vector<Event> events() const;

 private:
  void record(Event event);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

// A main queue that the test drains by hand and that can hold the producer back, like the run
// loop's waitUntilPendingAtMost. Remembers the most blocks it ever held.
class HandDrainedQueue final : public MainQueue {
 public:
  void async(std::function<void()> block) override;
  void waitUntilPendingAtMost(std::size_t n);
  // Waits up to kDeadline until at least n blocks wait; returns whether they did.
  bool waitUntilPendingAtLeast(std::size_t n);
  // Runs the oldest block, waiting up to kDeadline for one; false when none came.
  bool runOne();
  std::size_t pending() const;
  std::size_t mostPending() const;
  // Releases every producer waiting for room, for good.
  void close();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> blocks_;
  std::size_t mostPending_ = 0;
  bool closed_ = false;
};

}  // namespace dunvel::testing
