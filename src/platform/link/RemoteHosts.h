#pragma once

#include <cstdint>
#include <string>

namespace dunvel {

// A host that reaches the companion through another way in than the Unix socket (the WebSocket
// endpoint) is known to the session by a number. The two sides run on different threads and
// talk only through these calls, each of which posts its work to the other side's thread and
// returns at once; nothing that belongs to one side's I/O crosses to the other.
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
  // The endpoint to answer through, or none; the endpoint must detach before it goes away.
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
