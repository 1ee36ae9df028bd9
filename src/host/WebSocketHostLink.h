#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace boost::asio {
class io_context;
}

namespace dunvel {

// Whether a --link names the companion's WebSocket endpoint (ws://… or wss://…) rather than a
// socket path.
bool isWebSocketLink(std::string_view link);
// A link as messages show it: a socket path whole, a WebSocket URL without its token.
std::string shownLink(std::string_view link);

// Empty when the URL is one a host can connect to (ws:// or wss://, a host, an optional port and
// path), else one line saying what is wrong.
std::string checkWebSocketLinkUrl(std::string_view url);

// Whether the URL carries a token (…?token=…).
bool hasLinkToken(std::string_view url);

// For a ws:// or wss:// link given without its token (so that it stays off the command line):
// the URL, token included, from the URL file that the companion listening on that address wrote
// in the folder (SOCKET.url beside its socket). Empty on success, else one line saying why not.
std::string findLinkUrl(std::string_view link, const std::filesystem::path& folder,
                        std::string& url);

// The host app's end of the link over a WebSocket: each line goes out as one text message, and
// each text message from the companion is handed over as one line. Its I/O runs on the
// io_context it is given, whose thread makes every call to it and runs every handler. For wss://
// the companion's certificate is checked against the system's authorities ($SSL_CERT_FILE names
// another file) and its name.
class WebSocketHostLink {
 public:
  struct Handlers {
    // The WebSocket handshake succeeded.
    std::function<void()> opened;
    // A message from the companion.
    std::function<void(std::string)> message;
    // Everything handed to one send() has been written.
    std::function<void()> written;
    // The connection ended, or never came about: empty after a close handshake, else the reason.
    // Once, last.
    std::function<void(std::string)> closed;
  };

  WebSocketHostLink(boost::asio::io_context& io, std::string url, Handlers handlers);
  // Stops as stop() does.
  ~WebSocketHostLink();
  WebSocketHostLink(const WebSocketHostLink&) = delete;
  WebSocketHostLink& operator=(const WebSocketHostLink&) = delete;

  // Connects.
  void start();
  // Each line of lines (one or more, each ending with a newline) goes out as one message, after
  // those sent before; dropped when not open.
  void send(std::string lines);
  // Closes with the WebSocket's close handshake once everything sent before is written and the
  // companion has dealt with it, so that its answers to the last lines are read first.
  void close();
  // Ends the connection: no handler runs after it returns, not even from one still queued on the
  // io_context. May be called from a handler. Idempotent.
  void stop();

  // Defined beside the connections it drives.
  class Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace dunvel
