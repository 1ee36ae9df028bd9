#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/MainQueue.h"
#include "link/Session.h"
#include "link/SessionPlatform.h"
#include "state/ContextValue.h"

namespace dunvel {

// A session double (include as "support/RecordingSession.h"). It records every call made to it, and
// to the platform binding it hands out, in order; reachability and the received application context
// are set by the test; and it delivers delegate callbacks from a real second thread, as the watch
// platform does. All of it is safe to use from several threads.
class RecordingSession final : public Session {
 public:
  // One recorded call: "isSupported", "defaultSession", "setDelegate", "activateSession",
  // "receivedApplicationContext", "isReachable" or "sendMessage".
  struct Call {
    std::string name;
    std::thread::id thread;
  };

  RecordingSession() = default;
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // A platform binding whose isSupported answers supported and whose defaultSession is this
  // session; both record their calls here.
  SessionPlatform platform(MainQueue& mainQueue, bool supported = true);

  void setDelegate(SessionDelegate* delegate) override;
  void activateSession() override;
  ContextDictionary receivedApplicationContext() const override;
  bool isReachable() const override;
  void sendMessage(const ContextDictionary& message) override;

  void setReachable(bool reachable);
  void setReceivedApplicationContext(ContextDictionary context);

  std::vector<Call> calls() const;
  std::vector<std::string> callNames() const;
  std::vector<ContextDictionary> sentMessages() const;
  SessionDelegate* delegate() const;

  // Runs deliver(delegate, session) on a new thread and waits for it to finish. The thread's id
  // is returned so tests can tell it from the main thread. Fails the test if no delegate is set.
  std::thread::id deliverOnPlatformThread(std::function<void(SessionDelegate&, Session&)> deliver);

  // The four callbacks, each delivered on a platform thread of its own.
  void deliverActivation(ActivationState state = ActivationState::activated,
                         std::optional<std::string> error = std::nullopt);
  void deliverApplicationContext(ContextDictionary context);
  void deliverMessage(ContextDictionary message);
  void deliverReachabilityChange();

 private:
  void record(const char* name) const;

  mutable std::mutex mutex_;
  mutable std::vector<Call> calls_;
  std::vector<ContextDictionary> sent_;
  SessionDelegate* delegate_ = nullptr;
  bool reachable_ = false;
  ContextDictionary receivedContext_;
};

}  // namespace dunvel
