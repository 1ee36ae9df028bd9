#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dunvel {

// What dunvel-watch was asked to do.
struct WatchOptions {
  // No window even when there is a display: the companion logs what it shows.
  bool headless = false;
  // The socket path from --link; the default location when absent.
  std::optional<std::string> link;
  // Also play the demo quiz night as the host, in this process, over the real socket.
  bool demo = false;
  // The watch's case size ("40mm" … "49mm-3") and pixels per point of the face drawn.
  std::string size = "45mm";
  double scale = 2.0;
  // The wearer's text size (xSmall … AX3); the case's default when empty.
  std::string textSize;
  // A folder to write each painted frame into, as a numbered PNG.
  std::optional<std::string> frames;
  // Append a recording of the night to this file (--record).
  std::optional<std::string> record;
  // Also listen for a host on a WebSocket endpoint: ws://ADDRESS:PORT or wss://ADDRESS:PORT.
  std::optional<std::string> listen;
  // The certificate chain and key (PEM) of a wss:// endpoint.
  std::optional<std::string> tlsCertificate;
  std::optional<std::string> tlsKey;
  // A file holding the pass phrase of an encrypted --tls-key.
  std::optional<std::string> tlsKeyPassFile;
  // The endpoint's token; a fresh random one when absent.
  std::optional<std::string> token;
  // A file holding the token, kept off the command line that other users see.
  std::optional<std::string> tokenFile;
  // Origins (as browsers send them) that may connect to the endpoint.
  std::vector<std::string> allowedOrigins;
  // Also serve the face to browsers on the endpoint (/view).
  bool view = false;
};

}  // namespace dunvel
