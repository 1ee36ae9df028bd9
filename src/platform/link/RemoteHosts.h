#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace boost::asio {
class io_context;
}

namespace dunvel {

// A host that reaches the companion through another way in than the Unix socket (the WebSocket
// endpoint) is known to the session by a number. Both ways in run on the session's one I/O
// thread; the two sides talk only through these calls, each of which queues its work behind what
// that thread is doing and returns at once, so neither side runs inside the other's handlers.
using RemoteHostId = std::uint64_t;

// The endpoint's side, called by the session.
class RemoteHostEndpoint {
 public:
  virtual ~RemoteHostEndpoint() = default;
  // The host holds the link now: its messages may be read.
  virtual void admit(RemoteHostId host) = 0;
  // Another host holds the link: errorLine goes out to this one, then its connection closes.
  virtual void turnAway(RemoteHostId host, std::string errorLine) = 0;
  // One line (newline included) to the host, as one message.
  virtual void send(RemoteHostId host, std::string line) = 0;
  // The session has dealt with the host's last line: the next one may be read.
  virtual void lineHandled(RemoteHostId host) = 0;
  // The session is done with the host (it stops).
  virtual void close(RemoteHostId host) = 0;
};

// The session's side, called by the endpoint. Every call runs on the session's I/O thread, in
// the order made.
class RemoteHostGate {
 public:
  virtual ~RemoteHostGate() = default;
  // The I/O thread's context: the endpoint's connections run on it, beside the socket's.
  virtual boost::asio::io_context& ioContext() = 0;
  // From the endpoint's owner (the main thread): runs block on the I/O thread and returns once it
  // has run, true. Once the session has stopped, no I/O thread is left to race with: block runs
  // on the caller's thread, and the answer is false.
  virtual bool runOnIoThread(const std::function<void()>& block) = 0;
  // On the I/O thread: the endpoint to answer through, or none; the endpoint must detach before
  // it goes away.
  virtual void attachEndpoint(RemoteHostEndpoint* endpoint) = 0;
  // A host passed the endpoint's own checks and asks for the link: the session admits it or
  // turns it away (one host at a time across every way in).
  virtual void remoteHostArrived(RemoteHostId host) = 0;
  // One frame from an admitted host (one message, without a newline).
  virtual void remoteLine(RemoteHostId host, std::string line) = 0;
  // The host's connection ended.
  virtual void remoteHostLeft(RemoteHostId host) = 0;
};

}  // namespace dunvel
