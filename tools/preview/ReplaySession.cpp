#include "preview/ReplaySession.h"

namespace dunvel {

bool ReplaySession::completeActivation() {
  if (!activationRequested_ || delegate_ == nullptr) return false;
  activationRequested_ = false;
  delegate_->sessionActivationDidComplete(*this, ActivationState::activated, std::nullopt);
  return true;
}

void ReplaySession::hostConnected() {
  connected_ = true;
  background_ = false;
  if (delegate_ != nullptr) delegate_->sessionReachabilityDidChange(*this);
}

void ReplaySession::hostDisconnected() {
  connected_ = false;
  background_ = false;
  if (delegate_ != nullptr) delegate_->sessionReachabilityDidChange(*this);
}

void ReplaySession::receive(const LinkFrame& frame) {
  switch (frame.type) {
    case LinkFrame::Type::context:
      lastContext_ = frame.payload;
      if (delegate_ != nullptr)
        delegate_->sessionDidReceiveApplicationContext(*this, frame.payload);
      return;
    case LinkFrame::Type::message:
      if (delegate_ != nullptr) delegate_->sessionDidReceiveMessage(*this, frame.payload);
      return;
    case LinkFrame::Type::reachability:
      // A host that sends this is connected, whatever the recording said before.
      connected_ = true;
      background_ = !frame.reachable;
      if (delegate_ != nullptr) delegate_->sessionReachabilityDidChange(*this);
      return;
    case LinkFrame::Type::error:
      return;
  }
}

}  // namespace dunvel
