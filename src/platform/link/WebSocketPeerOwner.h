#pragma once

#include <boost/beast/http.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/link/RemoteHosts.h"
#include "platform/link/WebSocketListener.h"
#include "platform/link/WebSocketPeer.h"

namespace dunvel {

// What a WebSocket connection asks of the endpoint that accepted it, on the I/O thread.
class WebSocketPeerOwner {
 public:
  virtual ~WebSocketPeerOwner() = default;

  virtual const WebSocketListener::Options& options() const = 0;
  // The answer to a handshake's request: ok to go on to the WebSocket handshake, else the
  // refusal and its reason.
  virtual boost::beast::http::status check(
      const boost::beast::http::request<boost::beast::http::empty_body>& request,
      const std::string& address, std::string& reason) = 0;
  // The connection's handshake ended (opened or failed): its slot is free.
  virtual void handshakeEnded(const std::string& address, std::uint64_t order) = 0;
  // The connection is open: its host, or 0 when the endpoint has stopped and it is to end.
  virtual RemoteHostId arrived(std::shared_ptr<WebSocketPeer> peer) = 0;
  // One message from an admitted host.
  virtual void line(RemoteHostId host, std::string text) = 0;
  // The host's connection ended.
  virtual void left(RemoteHostId host) = 0;
};

}  // namespace dunvel
