#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "link/Session.h"
#include "platform/link/LinkPath.h"
#include "platform/link/LinkTraffic.h"
#include "platform/link/RemoteHosts.h"
#include "wire/LineSplitter.h"

namespace dunvel {

// The phone–watch session on Linux: the companion listens on a Unix-domain stream socket and one
// host at a time connects to it and speaks in JSON lines (see LinkFrame). All socket I/O runs on
// a thread the session owns, and every delegate callback arrives on that thread.
//
// The host is reachable while it is connected and has not said that it went to the background.
// Bad lines are answered with an error line and dropped; the connection and every state stay.
//
// Hosts that come another way (the WebSocket endpoint) pass through its RemoteHostGate side: their
// connections run on the same I/O thread, they share the one-host rule with the socket's hosts,
// and their frames are handled in the same way.
class SocketSession final : public Session, public RemoteHostGate {
 public:
  struct Options {
    std::filesystem::path path;
    LinkFolderPolicy folderPolicy = LinkFolderPolicy::privateFolder;
    // Blocks the calling thread until at most n blocks wait on the main queue (or the queue
    // stops). After every snapshot it hands to the delegate, the I/O thread calls it with
    // maxPendingSnapshots, so a host that floods the link is read only as fast as the main
    // thread applies snapshots: memory stays bounded and no frame is lost. Empty: no limit.
    std::function<void(std::size_t)> waitUntilPendingAtMost;
    std::size_t maxPendingSnapshots = 1024;
    std::size_t maxLineBytes = kMaxLinkLineBytes;
    // Sees the link's traffic, for a recording: hosts coming and going and the frames they send
    // arrive on the I/O thread, each before the delegate hears of it; messageSent arrives on the
    // thread that calls sendMessage (the main thread). Must not call back into the session.
    std::function<void(const LinkTraffic&)> traffic;
    // Sees the payload of every context and message frame on the I/O thread, just before the
    // delegate does (for the log's word on snapshots the watch does not take as sent). Must
    // not call back into the session, and must not keep the reference.
    std::function<void(const ContextDictionary&)> snapshotReceived;
  };

  explicit SocketSession(Options options);
  // Stops as stop() does.
  ~SocketSession() override;
  SocketSession(const SocketSession&) = delete;
  SocketSession& operator=(const SocketSession&) = delete;

  // Main thread, once, before activateSession. Prepares the folder, removes a socket file left
  // by an earlier run (but refuses to take over a path on which a companion still answers),
  // binds with mode 0600 and listens. Hosts that connect now wait until activation. Returns an
  // empty string on success, else one line saying what is wrong.
  std::string listen();

  // Main thread. Closes the link and ends the I/O thread: no callback arrives after it returns.
  // Removes the socket file unless another companion has replaced it since. Idempotent.
  void stop();

  const std::filesystem::path& path() const;

  // Main thread, before activation.
  void setDelegate(SessionDelegate* delegate) override;
  // Completes on the I/O thread right away when the socket listens (with the context received
  // so far in this run), and only then starts admitting hosts. Without a listening socket it
  // completes with notActivated and an error.
  void activateSession() override;
  // Callable from any thread.
  ContextDictionary receivedApplicationContext() const override;
  // Callable from any thread.
  bool isReachable() const override;
  // Main thread. Hands the line to the I/O thread and returns at once; dropped there when no
  // host is connected.
  void sendMessage(const ContextDictionary& message) override;

  // See RemoteHostGate.
  boost::asio::io_context& ioContext() override;
  bool runOnIoThread(const std::function<void()>& block) override;
  void attachEndpoint(RemoteHostEndpoint* endpoint) override;
  void remoteHostArrived(RemoteHostId host) override;
  void remoteLine(RemoteHostId host, std::string line) override;
  void remoteHostLeft(RemoteHostId host) override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dunvel
