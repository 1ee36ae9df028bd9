#include "platform/link/WebSocketListener.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <optional>
#include <unordered_map>

#include "files/ReadFile.h"
#include "platform/link/WebSocketConnection.h"
#include "platform/link/WebSocketUrl.h"
#include "platform/link/WrongTokenSlowdown.h"
#include "state/OneLine.h"
#include "wire/LinkFrame.h"

namespace dunvel {

namespace {

// How long a stopping endpoint waits for its host to answer the close frame.
constexpr std::chrono::milliseconds kCloseWithin{1000};

}  // namespace

// Shared by its connections, whose handlers may still run on the I/O thread after the listener has
// stopped and gone: they keep it alive, and find it detached.
class WebSocketListener::Impl final : public RemoteHostEndpoint,
                                      public WebSocketPeerOwner,
                                      public std::enable_shared_from_this<WebSocketListener::Impl> {
 public:
  Impl(Options options, RemoteHostGate& gate)
      : options_(std::move(options)),
        gate_(gate),
        io_(gate.ioContext()),
        acceptor_(io_),
        acceptRetry_(io_),
        closeWait_(io_) {
    for (const std::string& origin : options_.allowedOrigins) {
      if (std::optional<std::string> normalized = normalizeOrigin(origin).origin) {
        allowedOrigins_.push_back(std::move(*normalized));
      }
    }
  }

  std::string listen();
  void stop();

  std::uint16_t port() const { return port_; }
  // "ADDRESS:PORT", an IPv6 address in brackets.
  std::string hostAndPort() const {
    const bool v6 = options_.address.host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + options_.address.host + "]" : options_.address.host;
    return host + ":" + std::to_string(port_);
  }
  std::string url() const {
    return std::string(options_.address.secure ? "wss://" : "ws://") + hostAndPort() +
           "/link?token=" + options_.token;
  }
  std::string viewUrl() const {
    return std::string(options_.address.secure ? "https://" : "http://") + hostAndPort() +
           "/view#token=" + options_.token;
  }

  // RemoteHostEndpoint: queued behind what the I/O thread is doing, like the calls the other way.
  void admit(RemoteHostId host) override {
    onPeer(host, [](WebSocketPeer& peer) { peer.admit(); });
  }
  void turnAway(RemoteHostId host, std::string errorLine) override {
    onPeer(host, [line = std::move(errorLine)](WebSocketPeer& peer) mutable {
      peer.turnAway(std::move(line));
    });
  }
  void send(RemoteHostId host, std::string line) override {
    onPeer(host,
           [line = std::move(line)](WebSocketPeer& peer) mutable { peer.send(std::move(line)); });
  }
  void lineHandled(RemoteHostId host) override {
    onPeer(host, [](WebSocketPeer& peer) { peer.lineHandled(); });
  }
  void close(RemoteHostId host) override {
    onPeer(host, [](WebSocketPeer& peer) { peer.closeGently(); });
  }

  // The I/O thread from here on, for the peers.
  const Options& options() const override { return options_; }

  // The answer to a handshake's request: ok to go on to the WebSocket handshake, else the
  // refusal and its reason.
  HandshakeAnswer check(const http::request<http::empty_body>& request,
                        const std::string& address) override;
  ViewerHub* viewerHub() override { return options_.view; }

  // A connection's handshake ended (opened or failed): its slot is free.
  void handshakeEnded(const std::string& address, std::uint64_t order) override;

  // 0 once the listener has stopped: the connection is to end.
  RemoteHostId arrived(std::shared_ptr<WebSocketPeer> peer) override {
    if (detached_) return 0;
    const RemoteHostId host = ++lastHost_;
    peers_.emplace(host, std::move(peer));
    gate_.remoteHostArrived(host);
    return host;
  }
  void line(RemoteHostId host, std::string text) override {
    if (!detached_) gate_.remoteLine(host, std::move(text));
  }
  void left(RemoteHostId host) override {
    if (peers_.erase(host) != 0) gate_.remoteHostLeft(host);
  }

 private:
  template <typename Call>
  void onPeer(RemoteHostId host, Call call) {
    net::post(io_, [self = shared_from_this(), host, call = std::move(call)]() mutable {
      const auto found = self->peers_.find(host);
      // Keeps the peer alive through the call, which may end it.
      if (found != self->peers_.end()) call(*std::shared_ptr<WebSocketPeer>(found->second));
    });
  }

  void startAccept();
  void accepted(tcp::socket socket);
  // On stop, on the I/O thread: closes the door and every connection, admitted hosts gently.
  void beginClosing(std::shared_ptr<std::promise<void>> closed);
  // Tells stop() once every admitted host has answered its close frame, or the time for that is
  // up.
  void finishClosing(std::shared_ptr<std::promise<void>> closed);
  // The Origin rules of the link, and of the view's socket, which also lets in its own page.
  bool originAllowed(const http::request<http::empty_body>& request, bool view) const;
  // The token of the target: the answer's status, ok when it is right.
  HandshakeAnswer checkToken(const http::request<http::empty_body>& request,
                             std::string_view target, const std::string& address,
                             const char* missing);
  HandshakeAnswer checkView(const http::request<http::empty_body>& request, std::string_view path,
                            std::string_view target, const std::string& address);

  // A connection in its handshake, in the order accepted.
  struct Pending {
    std::uint64_t order = 0;
    std::weak_ptr<WebSocketPeer> peer;
  };
  // Makes room for one more handshake from the address: past its own share the oldest of its
  // own goes, past the total the oldest of the address with the most.
  void makeRoomFor(const std::string& address);
  void evictOldest(const std::string& address);

  Options options_;
  // As compared: scheme and host in lower case, without a default port.
  std::vector<std::string> allowedOrigins_;
  RemoteHostGate& gate_;
  // The session's: both ways in share its one I/O thread.
  net::io_context& io_;
  tcp::acceptor acceptor_;
  net::steady_timer acceptRetry_;
  net::steady_timer closeWait_;
  std::optional<ssl::context> tls_;
  std::uint16_t port_ = 0;
  // The owner's thread.
  bool listening_ = false;
  bool stopped_ = false;

  // The I/O thread only.
  std::unordered_map<RemoteHostId, std::shared_ptr<WebSocketPeer>> peers_;
  WrongTokenSlowdown slowdown_;
  std::unordered_map<std::string, std::deque<Pending>> pending_;
  std::vector<std::weak_ptr<WebSocketPeer>> closing_;
  std::chrono::steady_clock::time_point closingDeadline_;
  std::size_t handshakes_ = 0;
  std::uint64_t lastOrder_ = 0;
  RemoteHostId lastHost_ = 0;
  // Set when the listener stops: the session hears nothing more from it.
  bool detached_ = false;
};

namespace {

// A certificate chain or a key is a few kilobytes.
constexpr std::size_t kMaxTlsFileBytes = std::size_t{1} << 20;

// A certificate or a key as read: its text, or else one line saying why it could not be read.
struct TlsFile {
  std::optional<std::string> text;
  // Its mode gives the group or others some access: a key should be the owner's alone.
  bool readableByOthers = false;
  std::string problem;
};

TlsFile readTlsFile(const std::filesystem::path& path, const char* what) {
  const std::string name = std::string("the TLS ") + what + " " + oneLine(path.string());
  FileBytes read = readRegularFile(path, kMaxTlsFileBytes);
  switch (read.kind) {
    case FileProblem::none:
      return {std::move(read.bytes), (read.mode & (S_IRWXG | S_IRWXO)) != 0, {}};
    case FileProblem::notRegular:
      return {std::nullopt, false, name + " is not a regular file"};
    case FileProblem::tooLarge:
      return {std::nullopt, false, name + " is larger than 1 MiB: not a PEM file"};
    case FileProblem::cannotRead:
      break;
  }
  return {std::nullopt, false, "cannot read " + name + ": " + read.reason};
}

}  // namespace

std::string WebSocketListener::Impl::listen() {
  const std::string shown = std::string(options_.address.secure ? "wss://" : "ws://") +
                            options_.address.host + ":" + std::to_string(options_.address.port);
  if (options_.token.empty()) return "the WebSocket endpoint needs a token";
  ErrorCode ipError;
  const net::ip::address ip = net::ip::make_address(options_.address.ipText(), ipError);
  if (ipError) return shown + ": not an IP address";
  if (options_.address.secure) {
    tls_.emplace(ssl::context::tls_server);
    tls_->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                      ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
    // The files are read here, not by OpenSSL: a FIFO or a device in their place is refused
    // rather than waited on, and a missing one is named with its cause.
    const TlsFile certificate = readTlsFile(options_.tlsCertificate, "certificate");
    if (!certificate.text) return certificate.problem;
    const TlsFile key = readTlsFile(options_.tlsKey, "key");
    if (!key.text) return key.problem;
    const std::string keyName = "the TLS key " + oneLine(options_.tlsKey.string());
    if (key.readableByOthers && options_.warning) {
      options_.warning(keyName + " can be read by other users (chmod 600 it)");
    }
    const bool encrypted = key.text->find("ENCRYPTED") != std::string::npos;
    if (encrypted && !options_.tlsKeyPassPhrase) {
      return keyName + " is encrypted: give its pass phrase with --tls-key-pass-file FILE";
    }
    // Never a prompt on the terminal: the pass phrase given, or none.
    tls_->set_password_callback(
        [phrase = options_.tlsKeyPassPhrase.value_or(std::string())](
            std::size_t, ssl::context::password_purpose) { return phrase; });
    ErrorCode error;
    tls_->use_certificate_chain(net::buffer(*certificate.text), error);
    if (error) {
      return "cannot use the TLS certificate " + oneLine(options_.tlsCertificate.string()) + ": " +
             error.message();
    }
    tls_->use_private_key(net::buffer(*key.text), ssl::context::pem, error);
    if (error) {
      return "cannot use " + keyName + ": " + error.message() +
             (encrypted ? " (is the pass phrase right?)" : "");
    }
  }
  const tcp::endpoint endpoint(ip, options_.address.port);
  ErrorCode error;
  acceptor_.open(endpoint.protocol(), error);
  if (!error) acceptor_.set_option(net::socket_base::reuse_address(true), error);
  if (!error) acceptor_.bind(endpoint, error);
  if (!error) acceptor_.listen(net::socket_base::max_listen_connections, error);
  if (error) {
    ErrorCode ignored;
    acceptor_.close(ignored);
    return "cannot listen on " + shown + ": " + error.message();
  }
  port_ = acceptor_.local_endpoint().port();
  listening_ = true;
  gate_.runOnIoThread([this] {
    gate_.attachEndpoint(this);
    if (options_.view != nullptr) options_.view->attach(io_);
    startAccept();
  });
  return {};
}

void WebSocketListener::Impl::stop() {
  if (stopped_) return;
  stopped_ = true;
  if (!listening_) return;
  auto closed = std::make_shared<std::promise<void>>();
  std::future<void> done = closed->get_future();
  // Admitted hosts are given a moment to answer their close frames, unless the session has
  // already stopped, which leaves nobody to read the answers.
  if (gate_.runOnIoThread([this, closed] { beginClosing(closed); })) {
    done.wait();
  }
}

void WebSocketListener::Impl::beginClosing(std::shared_ptr<std::promise<void>> closed) {
  // From here on the session finds no endpoint to post to, and the connections that are still
  // ending no session to tell.
  gate_.attachEndpoint(nullptr);
  ErrorCode ignored;
  acceptor_.close(ignored);
  acceptRetry_.cancel();
  while (!pending_.empty()) evictOldest(pending_.begin()->first);
  // An admitted host is told the companion is going away (1001), as a browser leaving a page
  // tells a server, and given a moment to answer.
  for (auto& [host, peer] : peers_) {
    peer->closeGently();
    closing_.push_back(peer);
    gate_.remoteHostLeft(host);
  }
  peers_.clear();
  if (options_.view != nullptr) {
    for (std::shared_ptr<WebSocketPeer>& viewer : options_.view->close()) {
      viewer->closeGently();
      closing_.push_back(viewer);
    }
  }
  detached_ = true;
  closingDeadline_ = std::chrono::steady_clock::now() + kCloseWithin;
  finishClosing(std::move(closed));
}

void WebSocketListener::Impl::finishClosing(std::shared_ptr<std::promise<void>> closed) {
  std::erase_if(closing_, [](const std::weak_ptr<WebSocketPeer>& peer) { return peer.expired(); });
  if (closing_.empty() || std::chrono::steady_clock::now() >= closingDeadline_) {
    for (const std::weak_ptr<WebSocketPeer>& weak : closing_) {
      if (const std::shared_ptr<WebSocketPeer> peer = weak.lock()) peer->closeNow();
    }
    closing_.clear();
    closed->set_value();
    return;
  }
  closeWait_.expires_after(std::chrono::milliseconds(10));
  closeWait_.async_wait([self = shared_from_this(), closed = std::move(closed)](ErrorCode) {
    self->finishClosing(closed);
  });
}

void WebSocketListener::Impl::startAccept() {
  acceptor_.async_accept([self = shared_from_this()](ErrorCode error, tcp::socket socket) {
    if (error == net::error::operation_aborted || !self->acceptor_.is_open()) return;
    if (!error) {
      self->accepted(std::move(socket));
      self->startAccept();
      return;
    }
    // Out of descriptors or memory: the connection stays in the backlog, so the next accept
    // fails at once the same way. Try again a little later rather than spin, as the socket does.
    self->acceptRetry_.expires_after(std::chrono::milliseconds(100));
    self->acceptRetry_.async_wait([self](ErrorCode waitError) {
      if (!waitError && self->acceptor_.is_open()) self->startAccept();
    });
  });
}

void WebSocketListener::Impl::accepted(tcp::socket socket) {
  ErrorCode error;
  const tcp::endpoint remote = socket.remote_endpoint(error);
  if (error) return;
  // A frame goes out as soon as it is written, not when the previous one is acknowledged.
  socket.set_option(tcp::no_delay(true), error);
  net::ip::address ip = remote.address();
  // An IPv4 client of a dual-stack socket is one address, however it arrives.
  if (ip.is_v6() && ip.to_v6().is_v4_mapped()) {
    ip = net::ip::make_address_v4(net::ip::v4_mapped, ip.to_v6());
  }
  const std::string address = ip.to_string();
  // A slow or silent connection holds its slot until its handshake times out; the newest
  // connection is the likeliest to be a host about to finish its own, so the old ones go.
  makeRoomFor(address);
  const std::uint64_t order = ++lastOrder_;
  std::shared_ptr<WebSocketPeer> peer;
  if (tls_) {
    peer = std::make_shared<WebSocketConnection<TlsStream>>(shared_from_this(), address, order,
                                                            std::move(socket), *tls_);
  } else {
    peer = std::make_shared<WebSocketConnection<PlainStream>>(shared_from_this(), address, order,
                                                              std::move(socket));
  }
  pending_[address].push_back(Pending{order, peer});
  ++handshakes_;
  peer->start();
}

void WebSocketListener::Impl::makeRoomFor(const std::string& address) {
  const auto mine = pending_.find(address);
  if (mine != pending_.end() && mine->second.size() >= options_.maxHandshakesPerAddress) {
    evictOldest(address);
    return;
  }
  if (handshakes_ < options_.maxHandshakes || pending_.empty()) return;
  // The address with the most pending, and of those the one whose oldest is oldest.
  auto busiest = pending_.begin();
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (it->second.size() > busiest->second.size() ||
        (it->second.size() == busiest->second.size() &&
         it->second.front().order < busiest->second.front().order)) {
      busiest = it;
    }
  }
  evictOldest(busiest->first);
}

void WebSocketListener::Impl::evictOldest(const std::string& address) {
  const auto found = pending_.find(address);
  if (found == pending_.end() || found->second.empty()) return;
  const std::shared_ptr<WebSocketPeer> peer = found->second.front().peer.lock();
  found->second.pop_front();
  if (found->second.empty()) pending_.erase(found);
  --handshakes_;
  if (peer) peer->evict();
}

void WebSocketListener::Impl::handshakeEnded(const std::string& address, std::uint64_t order) {
  const auto found = pending_.find(address);
  if (found == pending_.end()) return;
  std::deque<Pending>& queue = found->second;
  const auto it = std::find_if(queue.begin(), queue.end(),
                               [order](const Pending& pending) { return pending.order == order; });
  if (it == queue.end()) return;
  queue.erase(it);
  if (queue.empty()) pending_.erase(found);
  --handshakes_;
}

bool WebSocketListener::Impl::originAllowed(const http::request<http::empty_body>& request,
                                            bool view) const {
  const auto origin = request.find(http::field::origin);
  // Not a browser: nothing to check.
  if (origin == request.end()) return true;
  const std::optional<std::string> value =
      normalizeOrigin(std::string_view(origin->value().data(), origin->value().size())).origin;
  // An Origin that is empty, "null" or not one at all matches nothing.
  if (!value) return false;
  if (std::find(allowedOrigins_.begin(), allowedOrigins_.end(), *value) != allowedOrigins_.end()) {
    return true;
  }
  if (!view) return false;
  // The view's own page, as the address it listens on names it (localhost for loopback too). A
  // page of another name that resolves here (DNS rebinding) is not its own.
  const std::string scheme = options_.address.secure ? "https://" : "http://";
  std::vector<std::string> own = {scheme + hostAndPort()};
  if (isLoopbackAddress(options_.address)) {
    own.push_back(scheme + "localhost:" + std::to_string(port_));
    own.push_back(scheme + "127.0.0.1:" + std::to_string(port_));
  }
  for (const std::string& name : own) {
    if (normalizeOrigin(name).origin == value) return true;
  }
  return false;
}

HandshakeAnswer WebSocketListener::Impl::checkToken(const http::request<http::empty_body>& request,
                                                    std::string_view target,
                                                    const std::string& address,
                                                    const char* missing) {
  // The token first: the right one is let in whatever else came from its address.
  const std::string_view token = tokenInTarget(target);
  if (sameToken(token, options_.token)) {
    slowdown_.rightToken(address);
    return {};
  }
  const auto now = std::chrono::steady_clock::now();
  if (slowdown_.slowedDown(address, now)) {
    return {http::status::too_many_requests, "too many wrong tokens; try again later"};
  }
  // Only a guess counts: a wrong token on a WebSocket upgrade. A browser's or a port scan's
  // plain GET or HEAD, or an upgrade without a token, guesses nothing.
  if (!token.empty() && websocket::is_upgrade(request)) slowdown_.wrongToken(address, now);
  return {http::status::unauthorized,
          token.empty() ? std::string(missing) : std::string("wrong token")};
}

HandshakeAnswer WebSocketListener::Impl::checkView(const http::request<http::empty_body>& request,
                                                   std::string_view path, std::string_view target,
                                                   const std::string& address) {
  if (const ViewFile* file = options_.view->file(path)) {
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
      return {http::status::method_not_allowed, "the view's page is read with GET"};
    }
    return {http::status::ok, {}, file};
  }
  if (!originAllowed(request, true)) {
    return {http::status::forbidden, "origin not allowed (dunvel-watch --allow-origin ORIGIN)"};
  }
  HandshakeAnswer answer = checkToken(request, target, address,
                                      "the view's socket needs its token (/view/socket?token=…)");
  if (answer.status != http::status::ok) return answer;
  if (!websocket::is_upgrade(request)) {
    return {http::status::upgrade_required, "this is the view's WebSocket"};
  }
  if (!options_.view->reserve(address)) {
    return {http::status::service_unavailable, "as many viewers as there may be are watching"};
  }
  answer.viewer = true;
  return answer;
}

HandshakeAnswer WebSocketListener::Impl::check(const http::request<http::empty_body>& request,
                                               const std::string& address) {
  const std::string_view target(request.target().data(), request.target().size());
  const std::string_view path = target.substr(0, target.find('?'));
  if (options_.view != nullptr && (path == "/view/socket" || options_.view->file(path))) {
    return checkView(request, path, target, address);
  }
  if (path != "/link") return {http::status::not_found, "the link is at /link"};
  if (!originAllowed(request, false)) {
    // A page open in a browser on this desktop must not drive the companion unless asked for.
    return {http::status::forbidden, "origin not allowed (dunvel-watch --allow-origin ORIGIN)"};
  }
  return checkToken(request, target, address, "the link needs its token (/link?token=…)");
}

WebSocketListener::WebSocketListener(Options options, RemoteHostGate& gate)
    : impl_(std::make_shared<Impl>(std::move(options), gate)) {}

WebSocketListener::~WebSocketListener() {
  impl_->stop();
}

std::string WebSocketListener::listen() {
  return impl_->listen();
}
void WebSocketListener::stop() {
  impl_->stop();
}
std::uint16_t WebSocketListener::port() const {
  return impl_->port();
}
std::string WebSocketListener::url() const {
  return impl_->url();
}
std::string WebSocketListener::viewUrl() const {
  return impl_->viewUrl();
}

}  // namespace dunvel
