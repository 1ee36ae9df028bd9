#include "platform/link/OneHostLink.h"

#include <optional>
#include <utility>

#include "wire/LinkFrame.h"

namespace dunvel {

OneHostLink::OneHostLink(Session& session, Hooks hooks)
    : session_(session), hooks_(std::move(hooks)) {}

ContextDictionary OneHostLink::lastContext() const {
  std::lock_guard lock(mutex_);
  return lastContext_;
}

bool OneHostLink::isReachable() const {
  std::lock_guard lock(mutex_);
  return presence_ == HostPresence::foreground;
}

void OneHostLink::forgetHost() {
  std::lock_guard lock(mutex_);
  presence_ = HostPresence::absent;
}

void OneHostLink::messageSent(const ContextDictionary& message) {
  if (hooks_.traffic) hooks_.traffic({LinkTraffic::Kind::messageSent, {}, message});
}

bool OneHostLink::activate(bool listening) {
  if (!listening) {
    if (delegate_ != nullptr) {
      delegate_->sessionActivationDidComplete(session_, ActivationState::notActivated,
                                              "the link socket is not listening");
    }
    return false;
  }
  const LinkHolder::Activation activation = holder_.activate();
  if (delegate_ != nullptr) {
    delegate_->sessionActivationDidComplete(session_, ActivationState::activated, std::nullopt);
  }
  if (!activation.first) return false;
  for (const RemoteHostId host : activation.waiting) admitRemote(host);
  return true;
}

std::string OneHostLink::socketHostArrived() {
  if (!holder_.isFree()) return LinkFrame::errorLine(kLinkTakenMessage);
  holder_.giveToSocketHost();
  taken();
  return {};
}

void OneHostLink::socketHostLeft() {
  holder_.release();
  released();
}

void OneHostLink::remoteHostArrived(RemoteHostId host) {
  if (holder_.activated()) {
    admitRemote(host);
  } else {
    holder_.wait(host);
  }
}

void OneHostLink::admitRemote(RemoteHostId host) {
  if (!holder_.isFree()) {
    toEndpoint([host](RemoteHostEndpoint& endpoint) {
      endpoint.turnAway(host, LinkFrame::errorLine(kLinkTakenMessage));
    });
    return;
  }
  holder_.giveToRemoteHost(host);
  taken();
  toEndpoint([host](RemoteHostEndpoint& endpoint) { endpoint.admit(host); });
}

void OneHostLink::remoteLine(RemoteHostId host, std::string_view line) {
  if (!holder_.heldBy(host)) return;
  handleLine(line, [this, host](std::string reply) {
    toEndpoint([&](RemoteHostEndpoint& endpoint) { endpoint.send(host, std::move(reply)); });
  });
  toEndpoint([host](RemoteHostEndpoint& endpoint) { endpoint.lineHandled(host); });
}

void OneHostLink::remoteHostLeft(RemoteHostId host) {
  holder_.forget(host);
  if (!holder_.heldBy(host)) return;
  holder_.release();
  released();
}

void OneHostLink::sendToRemoteHost(const std::string& line) {
  if (const std::optional<RemoteHostId> remote = holder_.remoteHost()) {
    toEndpoint([&](RemoteHostEndpoint& endpoint) { endpoint.send(*remote, line); });
  }
}

void OneHostLink::closeAll() {
  for (const RemoteHostId host : holder_.releaseAll()) {
    toEndpoint([host](RemoteHostEndpoint& endpoint) { endpoint.close(host); });
  }
}

void OneHostLink::taken() {
  if (hooks_.traffic) hooks_.traffic({LinkTraffic::Kind::hostConnected, {}, {}});
  setHostPresence(HostPresence::foreground);
}

void OneHostLink::released() {
  if (hooks_.traffic) hooks_.traffic({LinkTraffic::Kind::hostDisconnected, {}, {}});
  setHostPresence(HostPresence::absent);
}

void OneHostLink::setHostPresence(HostPresence presence) {
  {
    std::lock_guard lock(mutex_);
    presence_ = presence;
  }
  if (delegate_ != nullptr) delegate_->sessionReachabilityDidChange(session_);
}

void OneHostLink::handleLine(std::string_view line, const std::function<void(std::string)>& reply) {
  LinkFrame::Parsed parsed = LinkFrame::parse(line);
  if (!parsed.frame) {
    reply(LinkFrame::errorLine(parsed.problem));
    return;
  }
  const LinkFrame& frame = *parsed.frame;
  if (hooks_.traffic && frame.type != LinkFrame::Type::error) {
    hooks_.traffic({LinkTraffic::Kind::frameReceived, std::string(line), {}});
  }
  const bool snapshot =
      frame.type == LinkFrame::Type::context || frame.type == LinkFrame::Type::message;
  if (snapshot && hooks_.snapshotReceived) hooks_.snapshotReceived(frame.payload);
  switch (frame.type) {
    case LinkFrame::Type::context: {
      {
        std::lock_guard lock(mutex_);
        lastContext_ = frame.payload;
      }
      if (delegate_ != nullptr) {
        delegate_->sessionDidReceiveApplicationContext(session_, frame.payload);
      }
      waitForRoom();
      break;
    }
    case LinkFrame::Type::message:
      if (delegate_ != nullptr) delegate_->sessionDidReceiveMessage(session_, frame.payload);
      waitForRoom();
      break;
    case LinkFrame::Type::reachability:
      setHostPresence(frame.reachable ? HostPresence::foreground : HostPresence::background);
      break;
    case LinkFrame::Type::error:
      // Never answered: two ends that answer each other's errors would do so forever.
      break;
  }
}

void OneHostLink::waitForRoom() {
  if (hooks_.waitUntilPendingAtMost) hooks_.waitUntilPendingAtMost(hooks_.maxPendingSnapshots);
}

}  // namespace dunvel
