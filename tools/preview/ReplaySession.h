#pragma once

#include <functional>

#include "link/Session.h"
#include "wire/LinkFrame.h"

namespace dunvel {

// The phone–watch session of a deterministic replay: the replay tells it what the recorded link
// did (a host came or went, a frame arrived) and it tells the delegate as the socket session
// would, in the same order. Its callbacks come on the replay's own thread, which also plays the
// main thread; that is safe because the store only queues work from them. sendMessage hands each
// command to sent.
class ReplaySession final : public Session {
 public:
  explicit ReplaySession(std::function<void(const ContextDictionary&)> sent)
      : sent_(std::move(sent)) {}

  void setDelegate(SessionDelegate* delegate) override { delegate_ = delegate; }
  // Completion comes with completeActivation, as it would come later from the link's thread.
  void activateSession() override { activationRequested_ = true; }
  ContextDictionary receivedApplicationContext() const override { return lastContext_; }
  bool isReachable() const override { return connected_ && !background_; }
  void sendMessage(const ContextDictionary& message) override { sent_(message); }

  // Completes a requested activation (with the context received so far); false when none was
  // requested or there is no delegate.
  bool completeActivation();
  void hostConnected();
  void hostDisconnected();
  void receive(const LinkFrame& frame);

 private:
  std::function<void(const ContextDictionary&)> sent_;
  SessionDelegate* delegate_ = nullptr;
  bool activationRequested_ = false;
  bool connected_ = false;
  bool background_ = false;
  ContextDictionary lastContext_;
};

}  // namespace dunvel
