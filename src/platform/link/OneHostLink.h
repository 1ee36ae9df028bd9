#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "link/Session.h"
#include "platform/link/LinkHolder.h"
#include "platform/link/LinkTraffic.h"
#include "platform/link/RemoteHosts.h"

namespace dunvel {

// What the session does with the hosts that reach it, whichever way they came in: one host holds
// the link at a time and any other is turned away with an error line; the holder's frames reach
// the delegate; the host is reachable while it holds the link and has not said that it went to
// the background. It moves no bytes itself: the Unix socket's transport asks it before it reads
// from a host and tells it when one leaves, and remote hosts are answered through their endpoint.
// Everything runs on the session's I/O thread unless said otherwise.
class OneHostLink {
 public:
  // The session's hooks, as SocketSession::Options describes them.
  struct Hooks {
    std::function<void(std::size_t)> waitUntilPendingAtMost;
    std::size_t maxPendingSnapshots = 0;
    std::function<void(const LinkTraffic&)> traffic;
    std::function<void(const ContextDictionary&)> snapshotReceived;
  };

  // session is what the delegate's callbacks name; it must outlive this.
  OneHostLink(Session& session, Hooks hooks);

  // Main thread, before activation.
  void setDelegate(SessionDelegate* delegate) { delegate_ = delegate; }
  // Any thread.
  ContextDictionary lastContext() const;
  bool isReachable() const;
  // The main thread, once the I/O thread has ended: no host is left to reach.
  void forgetHost();
  // The caller's thread (the main thread): a message goes out, for the traffic hook.
  void messageSent(const ContextDictionary& message);

  // Tells the delegate how activation went. Only the first activation with a listening socket
  // lets hosts in: the remote hosts that waited are answered now, and the answer is true so the
  // socket starts accepting.
  bool activate(bool listening);

  // A host on the Unix socket asks for the link: empty when it holds the link now, else the
  // error line to send it before its connection closes.
  std::string socketHostArrived();
  // The socket's host that held the link went away.
  void socketHostLeft();

  // The remote hosts, as RemoteHostGate describes them.
  void attachEndpoint(RemoteHostEndpoint* endpoint) { endpoint_ = endpoint; }
  void remoteHostArrived(RemoteHostId host);
  void remoteLine(RemoteHostId host, std::string_view line);
  void remoteHostLeft(RemoteHostId host);
  // Hands the line to the remote host that holds the link, if one does; else it is dropped.
  void sendToRemoteHost(const std::string& line);
  // On stop: every remote host still known is closed, and nobody holds the link after.
  void closeAll();

  // One line from the host that holds the link. A line that is no frame is answered through
  // reply with an error line; a frame goes to the delegate.
  void handleLine(std::string_view line, const std::function<void(std::string)>& reply);

 private:
  template <typename Call>
  void toEndpoint(Call call) {
    if (endpoint_ != nullptr) call(*endpoint_);
  }
  void admitRemote(RemoteHostId host);
  void taken();
  void released();
  // Whether a host holds the link, and whether it said it went to the background.
  enum class HostPresence { absent, foreground, background };
  void setHostPresence(HostPresence presence);
  void waitForRoom();

  Session& session_;
  Hooks hooks_;
  // Main thread: written before activation, read on the I/O thread after the activation post.
  SessionDelegate* delegate_ = nullptr;
  LinkHolder holder_;
  RemoteHostEndpoint* endpoint_ = nullptr;

  // Read from any thread.
  mutable std::mutex mutex_;
  ContextDictionary lastContext_;
  HostPresence presence_ = HostPresence::absent;
};

}  // namespace dunvel
