#pragma once

#include <optional>
#include <string>

#include "state/ContextValue.h"

namespace dunvel {

class Session;

enum class ActivationState { notActivated, inactive, activated };

// Receiver of the phone–watch session's callbacks. Every callback arrives on the session's own
// thread (the platform thread), never on the main thread.
class SessionDelegate {
 public:
  virtual ~SessionDelegate() = default;
  virtual void sessionActivationDidComplete(Session& session, ActivationState state,
                                            const std::optional<std::string>& error) = 0;
  virtual void sessionDidReceiveApplicationContext(Session& session,
                                                   const ContextDictionary& applicationContext) = 0;
  virtual void sessionDidReceiveMessage(Session& session, const ContextDictionary& message) = 0;
  virtual void sessionReachabilityDidChange(Session& session) = 0;
};

// The phone–watch session. isSupported and defaultSession are process-wide and reach the store
// through the session platform binding, not through this class.
class Session {
 public:
  virtual ~Session() = default;
  // Main thread, before activation.
  virtual void setDelegate(SessionDelegate* delegate) = 0;
  // Starts activation without blocking; its end arrives as sessionActivationDidComplete.
  virtual void activateSession() = 0;
  // Callable from any thread.
  virtual ContextDictionary receivedApplicationContext() const = 0;
  // Callable from any thread: whether the host app can receive a message right now.
  virtual bool isReachable() const = 0;
  // Main thread. Hands the message over for asynchronous delivery and returns at once; no reply
  // and no error are ever reported back.
  virtual void sendMessage(const ContextDictionary& message) = 0;
};

}  // namespace dunvel
