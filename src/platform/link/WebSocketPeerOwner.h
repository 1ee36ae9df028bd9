#pragma once

#include <boost/beast/http.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/link/RemoteHosts.h"
#include "platform/link/ViewerHub.h"
#include "platform/link/WebSocketListener.h"
#include "platform/link/WebSocketPeer.h"

namespace dunvel {

// The endpoint's answer to a request: go on to the WebSocket handshake (ok), serve a file of the
// view's page (ok with a file), or refuse with a status and its reason.
struct HandshakeAnswer {
  boost::beast::http::status status = boost::beast::http::status::ok;
  std::string reason;
  const ViewFile* file = nullptr;
  // The view's socket: the connection is a viewer's, with a place held for it.
  bool viewer = false;
};

// What a WebSocket connection asks of the endpoint that accepted it, on the I/O thread.
class WebSocketPeerOwner {
 public:
  virtual ~WebSocketPeerOwner() = default;

  virtual const WebSocketListener::Options& options() const = 0;
  virtual HandshakeAnswer check(
      const boost::beast::http::request<boost::beast::http::empty_body>& request,
      const std::string& address) = 0;
  // The connection's handshake ended (opened or failed): its slot is free.
  virtual void handshakeEnded(const std::string& address, std::uint64_t order) = 0;
  // The connection is open: its host, or 0 when the endpoint has stopped and it is to end.
  virtual RemoteHostId arrived(std::shared_ptr<WebSocketPeer> peer) = 0;
  // One message from an admitted host.
  virtual void line(RemoteHostId host, std::string text) = 0;
  // The host's connection ended.
  virtual void left(RemoteHostId host) = 0;
  // The view's hub, when the endpoint serves the view; null otherwise.
  virtual ViewerHub* viewerHub() = 0;
};

}  // namespace dunvel
