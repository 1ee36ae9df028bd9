#pragma once

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/link/RemoteHosts.h"

namespace dunvel {

// The one-host-at-a-time rule, across every way in: who holds the link, if anyone, and the remote
// hosts that asked for it before the session was activated, to be answered in their order once it
// is. The session's transports ask it before they let a host in and tell it when one leaves; it
// does no I/O. I/O thread only.
class LinkHolder {
 public:
  enum class Holder { nobody, socketHost, remoteHost };

  // What the first activation lets go on: accepting on the socket, and answering the remote hosts
  // that waited.
  struct Activation {
    bool first = false;
    std::vector<RemoteHostId> waiting;
  };

  bool isFree() const { return holder_ == Holder::nobody; }
  Holder holder() const { return holder_; }
  std::optional<RemoteHostId> remoteHost() const {
    if (holder_ != Holder::remoteHost) return std::nullopt;
    return remoteHost_;
  }
  bool heldBy(RemoteHostId host) const {
    return holder_ == Holder::remoteHost && remoteHost_ == host;
  }

  // Only while it is free.
  void giveToSocketHost() { holder_ = Holder::socketHost; }
  void giveToRemoteHost(RemoteHostId host) {
    holder_ = Holder::remoteHost;
    remoteHost_ = host;
  }
  void release() { holder_ = Holder::nobody; }

  bool activated() const { return activated_; }
  Activation activate() {
    Activation activation{!activated_, {}};
    activated_ = true;
    if (activation.first) activation.waiting.swap(waiting_);
    return activation;
  }
  // Before activation: the remote host asks for the link.
  void wait(RemoteHostId host) { waiting_.push_back(host); }
  // A remote host that went away, whether it waited or not.
  void forget(RemoteHostId host) { std::erase(waiting_, host); }

  // On stop: every remote host still known, those that waited first, to be closed. Nobody holds
  // the link after.
  std::vector<RemoteHostId> releaseAll() {
    std::vector<RemoteHostId> hosts;
    hosts.swap(waiting_);
    if (holder_ == Holder::remoteHost) hosts.push_back(remoteHost_);
    holder_ = Holder::nobody;
    return hosts;
  }

 private:
  Holder holder_ = Holder::nobody;
  RemoteHostId remoteHost_ = 0;
  std::vector<RemoteHostId> waiting_;
  bool activated_ = false;
};

}  // namespace dunvel
