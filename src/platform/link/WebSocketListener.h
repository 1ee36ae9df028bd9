#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/link/LinkToken.h"
#include "platform/link/RemoteHosts.h"
#include "platform/link/ViewerHub.h"
#include "platform/link/WebSocketAddress.h"
#include "platform/link/WebSocketOrigin.h"
#include "wire/LineSplitter.h"

namespace dunvel {

// The second way into the link: a WebSocket endpoint on TCP, for host apps that cannot open the
// companion's Unix socket (a phone, an emulator, a browser). Each text message is one frame of
// the socket link. The endpoint runs on the session's I/O thread, beside the socket: it does the
// network's own checks (the token, the Origin of browsers, limits and timeouts) and hands the
// hosts that pass them to the session through its RemoteHostGate, which serves one host at a time
// across both ways in and handles their frames as it handles the socket's.
//
// A handshake is answered 404 off the path /link (and the view's paths, when it serves the view),
// 403 with an Origin not allowed, 401 without the right token (429, a second late, while its
// address, or every address, is slowed down after repeated wrong tokens) and 426 when it asks for
// no WebSocket. The right token is never refused. A message over the limit closes the connection
// with 1009.
class WebSocketListener {
 public:
  struct Options {
    WebSocketAddress address;
    // PEM files, for wss:// only.
    std::filesystem::path tlsCertificate;
    std::filesystem::path tlsKey;
    // The pass phrase of an encrypted key; without one such a key is refused.
    std::optional<std::string> tlsKeyPassPhrase;
    // Told, on the main thread during listen, what is allowed but unwise (a key others can read).
    std::function<void(const std::string&)> warning;
    std::string token;
    // Origins that may connect (each one normalizeOrigin takes); a handshake with any other
    // Origin, an empty one included, is refused, one without an Origin (not a browser) is not.
    std::vector<std::string> allowedOrigins;
    std::size_t maxMessageBytes = kMaxLinkLineBytes;
    // From the TCP connection to the end of the WebSocket handshake (TLS included).
    std::chrono::milliseconds handshakeTimeout{5000};
    // A host silent for half of this is pinged; one that stays silent for all of it is gone.
    std::chrono::milliseconds silenceTimeout{10000};
    // Connections still in their handshake at one time, in all and from one address. A
    // connection past either limit makes room by closing the oldest pending one of its own
    // address, or, past the total, of the address with the most.
    std::size_t maxHandshakes = 64;
    std::size_t maxHandshakesPerAddress = 16;
    // The browser view, served beside the link when given (it must outlive the listener): its
    // page's files at their paths, and its viewers on /view/socket with the link's token and
    // Origin rules, the page's own origin always allowed.
    ViewerHub* view = nullptr;
  };

  WebSocketListener(Options options, RemoteHostGate& gate);
  // Stops as stop() does.
  ~WebSocketListener();
  WebSocketListener(const WebSocketListener&) = delete;
  WebSocketListener& operator=(const WebSocketListener&) = delete;

  // Main thread, once. Loads the TLS files, binds, listens and starts accepting on the session's
  // I/O thread. Empty on success, else one line saying what is wrong.
  std::string listen();
  // Main thread, before the session stops. Closes every connection, giving an admitted host a
  // moment to answer its close frame; the gate hears nothing after it returns. Idempotent.
  void stop();

  // After listen: the port bound, and the whole address a host connects to, token included
  // (ws://ADDRESS:PORT/link?token=…).
  std::uint16_t port() const;
  std::string url() const;
  // After listen, with a view: where a browser opens it, the token in the fragment, which never
  // leaves the browser (http://ADDRESS:PORT/view#token=…).
  std::string viewUrl() const;

  // Defined beside the connections it serves.
  class Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace dunvel
