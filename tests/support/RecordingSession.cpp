#include "support/RecordingSession.h"

#include <gtest/gtest.h>

#include <utility>

namespace dunvel {

SessionPlatform RecordingSession::platform(MainQueue& mainQueue, bool supported) {
  SessionPlatform platform;
  platform.isSupported = [this, supported] {
    record("isSupported");
    return supported;
  };
  platform.defaultSession = [this]() -> Session& {
    record("defaultSession");
    return *this;
  };
  platform.mainQueue = &mainQueue;
  return platform;
}

void RecordingSession::record(const char* name) const {
  std::lock_guard lock(mutex_);
  calls_.push_back(Call{name, std::this_thread::get_id()});
}

void RecordingSession::setDelegate(SessionDelegate* delegate) {
  record("setDelegate");
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
}

void RecordingSession::activateSession() {
  record("activateSession");
}

ContextDictionary RecordingSession::receivedApplicationContext() const {
  record("receivedApplicationContext");
  std::lock_guard lock(mutex_);
  return receivedContext_;
}

bool RecordingSession::isReachable() const {
  record("isReachable");
  std::lock_guard lock(mutex_);
  return reachable_;
}

void RecordingSession::sendMessage(const ContextDictionary& message) {
  record("sendMessage");
  std::lock_guard lock(mutex_);
  sent_.push_back(message);
}

void RecordingSession::setReachable(bool reachable) {
  std::lock_guard lock(mutex_);
  reachable_ = reachable;
}

void RecordingSession::setReceivedApplicationContext(ContextDictionary context) {
  std::lock_guard lock(mutex_);
  receivedContext_ = std::move(context);
}

std::vector<RecordingSession::Call> RecordingSession::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingSession::callNames() const {
  std::vector<std::string> names;
  for (const auto& call : calls()) names.push_back(call.name);
  return names;
}

std::vector<ContextDictionary> RecordingSession::sentMessages() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

SessionDelegate* RecordingSession::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_;
}

std::thread::id RecordingSession::deliverOnPlatformThread(
    std::function<void(SessionDelegate&, Session&)> deliver) {
  SessionDelegate* target = delegate();
  EXPECT_NE(target, nullptr) << "no delegate set: the session was never set up";
  if (target == nullptr) return {};
  std::thread::id platformThread;
  std::thread thread([&] {
    platformThread = std::this_thread::get_id();
    deliver(*target, *this);
  });
  thread.join();
  return platformThread;
}

void RecordingSession::deliverActivation(ActivationState state, std::optional<std::string> error) {
  deliverOnPlatformThread([&](SessionDelegate& delegate, Session& session) {
    delegate.sessionActivationDidComplete(session, state, error);
  });
}

void RecordingSession::deliverApplicationContext(ContextDictionary context) {
  deliverOnPlatformThread([&](SessionDelegate& delegate, Session& session) {
    delegate.sessionDidReceiveApplicationContext(session, context);
  });
}

void RecordingSession::deliverMessage(ContextDictionary message) {
  deliverOnPlatformThread([&](SessionDelegate& delegate, Session& session) {
    delegate.sessionDidReceiveMessage(session, message);
  });
}

void RecordingSession::deliverReachabilityChange() {
  deliverOnPlatformThread([&](SessionDelegate& delegate, Session& session) {
    delegate.sessionReachabilityDidChange(session);
  });
}

}  // namespace dunvel
