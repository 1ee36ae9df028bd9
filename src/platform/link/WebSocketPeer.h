#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace dunvel {

// What a connection can be asked to do, whatever stream it runs on.
class WebSocketPeer {
 public:
  virtual ~WebSocketPeer() = default;
  virtual void start() = 0;
  virtual void admit() = 0;
  virtual void turnAway(std::string errorLine) = 0;
  virtual void send(std::string line) = 0;
  virtual void lineHandled() = 0;
  virtual void closeGently() = 0;
  virtual void closeNow() = 0;
  // Ends a connection still in its handshake to make room for another; the endpoint has already
  // forgotten it as pending.
  virtual void evict() = 0;
  // A viewer's: one message of the view (text or binary), the only one under way; the owner hears
  // viewerWritten once it is out.
  virtual void sendView(std::shared_ptr<const std::string> bytes, bool binary) = 0;
  // A viewer's: closes with this code once what is being written is out.
  virtual void closeWith(std::uint16_t code) = 0;
};

}  // namespace dunvel
