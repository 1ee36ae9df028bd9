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

#include "platform/link/OutgoingLines.h"
#include "platform/link/WebSocketUrl.h"
#include "state/OneLine.h"
#include "wire/LinkFrame.h"

namespace dunvel {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using ErrorCode = beast::error_code;

namespace {

// A handshake is a few hundred bytes; browsers send a few kilobytes of headers at most.
constexpr std::uint32_t kMaxRequestHeaderBytes = 16 * 1024;
// Wrong tokens on WebSocket upgrades from one address that are simply answered 401 (a person
// retyping one); from the last of them on, each one doubles the time during which that address's
// wrong tokens are answered 429, late, up to the longest. The right token is always let in: the
// real host must not be locked out by someone else's guesses from the same address.
constexpr int kFreeStrikes = 3;
constexpr std::chrono::milliseconds kFirstSlowdown{1000};
constexpr std::chrono::milliseconds kLongestSlowdown{10'000};
// Wrong tokens in a second from all addresses together past which every wrong token is answered
// 429 for a second: guessing from many loopback addresses (127.0.x.y) gains nothing.
constexpr int kMaxWrongTokensPerSecond = 20;
// How late a 429 goes out. Its handshake slot is held meanwhile, so guesses cost time whatever
// they are answered, and the slots per address bound how many one address has in flight.
constexpr std::chrono::milliseconds kSlowedAnswerDelay{1000};
// How long a stopping endpoint waits for its host to answer the close frame.
constexpr std::chrono::milliseconds kCloseWithin{1000};
// Addresses remembered at most; past this the ones no longer slowed down are forgotten first.
constexpr std::size_t kMaxRememberedAddresses = 4096;

std::optional<net::ip::address> ipAddressOf(const WebSocketAddress& address) {
  if (address.host == "localhost") return net::ip::make_address_v4("127.0.0.1");
  ErrorCode error;
  net::ip::address ip = net::ip::make_address(address.host, error);
  if (error) return std::nullopt;
  return ip;
}

std::string_view queryParameter(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
        pair[name.size()] == '=') {
      return pair.substr(name.size() + 1);
    }
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace

std::string parseWebSocketAddress(std::string_view text, WebSocketAddress& address) {
  const std::string shown(text);
  const ParsedWebSocketUrl parsed = parseWebSocketUrl(text);
  switch (parsed.error) {
    case WebSocketUrlError::none:
      break;
    case WebSocketUrlError::scheme:
      return shown + ": expected ws://ADDRESS:PORT or wss://ADDRESS:PORT";
    case WebSocketUrlError::unclosedBracket:
      return shown + ": an IPv6 address needs its closing ]";
    case WebSocketUrlError::textAfterBracket:
      return shown + ": the port is missing (ADDRESS:PORT)";
  }
  const WebSocketUrl& url = parsed.url;
  if (url.portState == WebSocketUrl::Port::absent) {
    return shown + ": the port is missing (ADDRESS:PORT)";
  }
  // The endpoint is an address and a port: whatever follows them is read as part of the port.
  if (url.portState == WebSocketUrl::Port::bad || !url.target.empty()) {
    return shown + ": the port must be a number from 0 to 65535";
  }
  WebSocketAddress parsedAddress{url.secure, url.host, url.port};
  if (!ipAddressOf(parsedAddress)) {
    return shown + ": " +
           (url.host.empty() ? std::string("the address is missing")
                             : "'" + url.host + "' is not an IP address");
  }
  address = std::move(parsedAddress);
  return {};
}

std::string normalizeOrigin(std::string_view text, std::string& origin) {
  const std::string shown = "'" + std::string(text) + "'";
  if (text.empty()) return "an origin cannot be empty";
  const std::size_t separator = text.find("://");
  if (separator == std::string_view::npos || separator == 0) {
    return shown + " is not an origin (scheme://host[:port], e.g. http://localhost:8000)";
  }
  std::string scheme(text.substr(0, separator));
  for (char& c : scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return shown + " is not an origin: the scheme holds '" + std::string(1, c) + "'";
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  std::string_view rest = text.substr(separator + 3);
  if (rest.find_first_of("/?#") != std::string_view::npos) {
    return shown + " is not an origin: it has a path, query or trailing slash (a browser sends " +
           scheme + "://" + std::string(rest.substr(0, rest.find_first_of("/?#"))) + ")";
  }
  std::string_view port;
  std::string_view host = rest;
  const std::size_t close = rest.rfind(']');
  const std::size_t colon = rest.rfind(':');
  if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value == 0 ||
        value > 65535) {
      return shown + " is not an origin: the port must be a number from 1 to 65535";
    }
  }
  if (host.empty()) return shown + " is not an origin: the host is missing";
  for (const char c : host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '@' || c == '\\') {
      return shown + " is not an origin: the host holds a space, a control, '@' or '\\'";
    }
  }
  const bool defaultPort = (port == "80" && (scheme == "http" || scheme == "ws")) ||
                           (port == "443" && (scheme == "https" || scheme == "wss"));
  origin = scheme + "://";
  for (const char c : host)
    origin += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!port.empty() && !defaultPort) origin += ":" + std::string(port);
  return {};
}

bool isLoopbackAddress(const WebSocketAddress& address) {
  const std::optional<net::ip::address> ip = ipAddressOf(address);
  if (!ip) return false;
  // ::ffff:127.0.0.1 is 127.0.0.1 reached through an IPv6 socket.
  if (ip->is_v6() && ip->to_v6().is_v4_mapped()) {
    return net::ip::make_address_v4(net::ip::v4_mapped, ip->to_v6()).is_loopback();
  }
  return ip->is_loopback();
}

std::string makeLinkToken() {
  unsigned char bytes[32];
  std::size_t filled = 0;
  while (filled < sizeof bytes) {
    const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    // getrandom blocks until the kernel's pool is ready and then cannot fail for 32 bytes;
    // a companion without random numbers must not go on with a guessable token.
    if (got <= 0) std::abort();
    filled += static_cast<std::size_t>(got);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char byte : bytes) {
    token.push_back(kHex[byte >> 4]);
    token.push_back(kHex[byte & 15]);
  }
  return token;
}

bool sameToken(std::string_view given, std::string_view expected) {
  // Every byte of the expected token is looked at whatever the given one holds, so the time
  // taken says nothing about how long a prefix was right.
  volatile unsigned char difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const unsigned char a = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference = difference | (a ^ static_cast<unsigned char>(expected[i]));
  }
  return difference == 0 && !expected.empty();
}

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
};

// Shared by its connections, whose handlers may still run on the I/O thread after the listener has
// stopped and gone: they keep it alive, and find it detached.
class WebSocketListener::Impl final : public RemoteHostEndpoint,
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
      std::string normalized;
      if (normalizeOrigin(origin, normalized).empty()) allowedOrigins_.push_back(normalized);
    }
  }

  std::string listen();
  void stop();

  std::uint16_t port() const { return port_; }
  std::string url() const {
    const bool v6 = options_.address.host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + options_.address.host + "]" : options_.address.host;
    return std::string(options_.address.secure ? "wss://" : "ws://") + host + ":" +
           std::to_string(port_) + "/link?token=" + options_.token;
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
  const Options& options() const { return options_; }

  // The answer to a handshake's request: ok to go on to the WebSocket handshake, else the
  // refusal and its reason.
  http::status check(const http::request<http::empty_body>& request, const std::string& address,
                     std::string& reason);

  // A connection's handshake ended (opened or failed): its slot is free.
  void handshakeEnded(const std::string& address, std::uint64_t order);

  // 0 once the listener has stopped: the connection is to end.
  RemoteHostId arrived(std::shared_ptr<WebSocketPeer> peer) {
    if (detached_) return 0;
    const RemoteHostId host = ++lastHost_;
    peers_.emplace(host, std::move(peer));
    gate_.remoteHostArrived(host);
    return host;
  }
  void line(RemoteHostId host, std::string text) {
    if (!detached_) gate_.remoteLine(host, std::move(text));
  }
  void left(RemoteHostId host) {
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

  struct Strikes {
    int count = 0;
    std::chrono::steady_clock::time_point slowedUntil;
  };
  void strike(const std::string& address);
  bool slowedDown(const std::string& address, std::chrono::steady_clock::time_point now) const;

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
  std::unordered_map<std::string, Strikes> strikes_;
  std::chrono::steady_clock::time_point wrongTokenSecond_;
  int wrongTokensThisSecond_ = 0;
  std::chrono::steady_clock::time_point allSlowedUntil_;
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

// What a client sent after its upgrade request in the same write (its first frame, or a part of
// one) is read with the request. It is kept in the buffer of the stream below the WebSocket,
// which reads it before anything new from the connection: no byte is lost to the upgrade.
// Declared in this namespace so that the teardown functions below are the ones found for it.
struct Leftover : beast::flat_buffer {};
template <typename Next>
using Buffered = beast::buffered_read_stream<Next, Leftover>;
using PlainStream = Buffered<beast::tcp_stream>;
using TlsStream = Buffered<beast::ssl_stream<beast::tcp_stream>>;

// The WebSocket's closing handshake ends the connection through the stream under the buffer.
template <typename Next>
void teardown(beast::role_type role, Buffered<Next>& stream, ErrorCode& error) {
  using beast::websocket::teardown;
  teardown(role, stream.next_layer(), error);
}
template <typename Next, typename Handler>
void async_teardown(beast::role_type role, Buffered<Next>& stream, Handler&& handler) {
  using beast::websocket::async_teardown;
  async_teardown(role, stream.next_layer(), std::forward<Handler>(handler));
}

// One connection, from TCP accept through its handshake to its end, on a plain or a TLS stream.
template <typename Stream>
class Peer final : public WebSocketPeer, public std::enable_shared_from_this<Peer<Stream>> {
 public:
  static constexpr bool kSecure = std::is_same_v<Stream, TlsStream>;

  template <typename... Arguments>
  Peer(std::shared_ptr<WebSocketListener::Impl> owner, std::string address, std::uint64_t order,
       Arguments&&... arguments)
      : owner_(std::move(owner)),
        address_(std::move(address)),
        order_(order),
        ws_(std::forward<Arguments>(arguments)...),
        answerDelay_(beast::get_lowest_layer(ws_).get_executor()) {}

  void start() override {
    beast::get_lowest_layer(ws_).expires_after(owner_->options().handshakeTimeout);
    if constexpr (kSecure) {
      // The first bytes tell TLS (a handshake record, 0x16) from a plain HTTP request sent to
      // the wss:// port by mistake, which is told so in plain HTTP rather than left guessing.
      beast::get_lowest_layer(ws_).async_read_some(
          buffer_.prepare(kMaxRequestHeaderBytes),
          [self = this->shared_from_this()](ErrorCode error, std::size_t read) {
            if (error) return self->handshakeFailed();
            self->buffer_.commit(read);
            const auto* first = static_cast<const unsigned char*>(self->buffer_.data().data());
            if (first[0] != 0x16) return self->refuseInPlain();
            self->ws_.next_layer().next_layer().async_handshake(
                ssl::stream_base::server, self->buffer_.data(),
                [self](ErrorCode handshakeError, std::size_t used) {
                  if (handshakeError) return self->handshakeFailed();
                  self->buffer_.consume(used);
                  self->readRequest();
                });
          });
    } else {
      readRequest();
    }
  }

  void admit() override {
    admitted_ = true;
    read();
  }

  void turnAway(std::string errorLine) override {
    closeCode_ = websocket::close_code::try_again_later;
    closeAfterWrites_ = true;
    send(std::move(errorLine));
  }

  void send(std::string line) override {
    if (ended_ || closing_) return;
    // One message is one frame: the newline that ends a line on the socket is not part of it.
    if (!line.empty() && line.back() == '\n') line.pop_back();
    outgoing_.push(std::move(line));
    if (!writing_) writeNext();
  }

  void lineHandled() override {
    handling_ = false;
    read();
  }

  void closeGently() override {
    closeCode_ = websocket::close_code::going_away;
    closeAfterWrites_ = true;
    if (!writing_) writeNext();
  }

  void closeNow() override {
    ended_ = true;
    beast::get_lowest_layer(ws_).close();
  }

  void evict() override {
    handshakeEnded_ = true;
    answerDelay_.cancel();
    closeNow();
  }

 private:
  void readRequest() {
    request_.emplace();
    request_->header_limit(kMaxRequestHeaderBytes);
    http::async_read(
        ws_.next_layer().next_layer(), ws_.next_layer().buffer(), *request_,
        [self = this->shared_from_this()](ErrorCode error, std::size_t) {
          if (!error) return self->checkRequest();
          // A client that sent something else than HTTP/1.1 is told so; one that
          // went away or timed out is not answered.
          if (error == http::error::header_limit) {
            return self->refuse(http::status::request_header_fields_too_large,
                                "the request's headers are larger than 16 KiB", 11, false);
          }
          if (error.category() == http::make_error_code(http::error::bad_method).category() &&
              error != http::error::end_of_stream && error != http::error::partial_message) {
            return self->refuse(http::status::bad_request,
                                "not an HTTP/1.1 request: " + error.message(), 11, false);
          }
          self->handshakeFailed();
        });
  }

  void checkRequest() {
    const http::request<http::empty_body>& request = request_->get();
    const bool head = request.method() == http::verb::head;
    // An HTTP/2 preface ("PRI * HTTP/2.0") parses as a request of another version.
    if (request.version() != 11 && request.version() != 10) {
      return refuse(http::status::bad_request, "this endpoint speaks HTTP/1.1", 11, head);
    }
    std::string reason;
    http::status status = owner_->check(request, address_, reason);
    if (status == http::status::ok && !websocket::is_upgrade(request)) {
      status = http::status::upgrade_required;
      reason = "this is a WebSocket endpoint";
    }
    if (status != http::status::ok) return refuse(status, reason, request.version(), head);

    ws_.read_message_max(owner_->options().maxMessageBytes);
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, "dunvel"); }));
    ws_.async_accept(request, [self = this->shared_from_this()](ErrorCode error) {
      if (error) return self->handshakeFailed();
      self->opened();
    });
  }

  void refuse(http::status status, const std::string& reason, unsigned version, bool head) {
    head_ = head;
    response_.emplace(status, version);
    response_->set(http::field::server, "dunvel");
    response_->set(http::field::content_type, "text/plain; charset=utf-8");
    if (status == http::status::too_many_requests) response_->set(http::field::retry_after, "10");
    response_->keep_alive(false);
    response_->body() = reason + "\n";
    response_->prepare_payload();
    if (status != http::status::too_many_requests) return writeRefusal();
    answerDelay_.expires_after(kSlowedAnswerDelay);
    answerDelay_.async_wait([self = this->shared_from_this()](ErrorCode error) {
      if (error || self->ended_) return self->handshakeFailed();
      self->writeRefusal();
    });
  }

  void refuseInPlain() {
    plainRefusal_ =
        "HTTP/1.1 400 Bad Request\r\nServer: dunvel\r\nContent-Type: text/plain; "
        "charset=utf-8\r\nConnection: close\r\nContent-Length: 44\r\n\r\n"
        "this endpoint speaks TLS: use a wss:// link\n";
    net::async_write(
        beast::get_lowest_layer(ws_), net::buffer(plainRefusal_),
        [self = this->shared_from_this()](ErrorCode, std::size_t) { self->handshakeFailed(); });
  }

  void writeRefusal() {
    const auto done = [self = this->shared_from_this()](ErrorCode, std::size_t) {
      self->handshakeFailed();
    };
    if (!head_) return http::async_write(ws_.next_layer(), *response_, done);
    // The answer to HEAD has the headers of the answer to GET, Content-Length included, and no
    // body.
    serializer_.emplace(*response_);
    http::async_write_header(ws_.next_layer(), *serializer_, done);
  }

  void handshakeFailed() {
    endHandshake();
    ErrorCode ignored;
    beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(ws_).close();
  }

  void endHandshake() {
    if (handshakeEnded_) return;
    handshakeEnded_ = true;
    owner_->handshakeEnded(address_, order_);
  }

  void opened() {
    endHandshake();
    request_.reset();
    // From here the WebSocket's own timers watch the connection: pings to a silent host, and the
    // end of one that stays silent.
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout timeout{};
    timeout.handshake_timeout = owner_->options().handshakeTimeout;
    timeout.idle_timeout = owner_->options().silenceTimeout;
    timeout.keep_alive_pings = true;
    ws_.set_option(timeout);
    ws_.text(true);
    host_ = owner_->arrived(this->shared_from_this());
    if (host_ == 0) closeNow();
  }

  void read() {
    if (!admitted_ || ended_ || reading_ || handling_ || closing_) return;
    // Resumed by writeNext once the host has read enough of its answers.
    if (outgoing_.full()) return;
    reading_ = true;
    ws_.async_read(incoming_, [self = this->shared_from_this()](ErrorCode error, std::size_t) {
      self->reading_ = false;
      if (error) return self->end();
      self->received();
    });
  }

  void received() {
    if (!ws_.got_text()) {
      incoming_.consume(incoming_.size());
      send(LinkFrame::errorLine("a binary message is not a frame; frames are text messages"));
      read();
      return;
    }
    std::string text = beast::buffers_to_string(incoming_.data());
    incoming_.consume(incoming_.size());
    // The session reads the next message only once it has dealt with this one, as on the socket.
    handling_ = true;
    owner_->line(host_, std::move(text));
  }

  void writeNext() {
    if (ended_ || writing_) return;
    if (outgoing_.empty()) {
      if (closeAfterWrites_ && !closing_) {
        closing_ = true;
        ws_.async_close(websocket::close_reason(closeCode_),
                        [self = this->shared_from_this()](ErrorCode) { self->end(); });
      } else {
        read();
      }
      return;
    }
    writing_ = true;
    ws_.async_write(net::buffer(outgoing_.front()),
                    [self = this->shared_from_this()](ErrorCode error, std::size_t) {
                      self->writing_ = false;
                      if (error) {
                        // The host is gone; the pending read (or the close) ends the connection.
                        self->outgoing_.clear();
                        if (!self->reading_) self->end();
                        return;
                      }
                      self->outgoing_.pop();
                      self->writeNext();
                    });
  }

  void end() {
    if (host_ != 0) {
      const RemoteHostId host = host_;
      host_ = 0;
      owner_->left(host);
    }
    if (ended_) return;
    ended_ = true;
    beast::get_lowest_layer(ws_).close();
  }

  const std::shared_ptr<WebSocketListener::Impl> owner_;
  const std::string address_;
  const std::uint64_t order_;
  websocket::stream<Stream> ws_;
  net::steady_timer answerDelay_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> request_;
  std::optional<http::response<http::string_body>> response_;
  std::optional<http::response_serializer<http::string_body>> serializer_;
  bool head_ = false;
  std::string plainRefusal_;
  beast::flat_buffer incoming_;
  OutgoingLines outgoing_;
  RemoteHostId host_ = 0;
  websocket::close_code closeCode_ = websocket::close_code::normal;
  bool handshakeEnded_ = false;
  bool admitted_ = false;
  bool reading_ = false;
  bool handling_ = false;
  bool writing_ = false;
  bool closeAfterWrites_ = false;
  bool closing_ = false;
  bool ended_ = false;
};

}  // namespace

namespace {

// A certificate chain or a key is a few kilobytes.
constexpr off_t kMaxTlsFileBytes = off_t{1} << 20;

std::string readTlsFile(const std::filesystem::path& path, const char* what, std::string& text,
                        bool* readableByOthers) {
  const std::string name = std::string("the TLS ") + what + " " + oneLine(path.string());
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot read " + name + ": " + std::strerror(errno);
  struct stat info {};
  std::string problem;
  if (fstat(fd, &info) != 0) {
    problem = "cannot read " + name + ": " + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    problem = name + " is not a regular file";
  } else if (info.st_size > kMaxTlsFileBytes) {
    problem = name + " is larger than 1 MiB: not a PEM file";
  } else {
    text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t total = 0;
    while (total < text.size()) {
      const ssize_t got = ::read(fd, text.data() + total, text.size() - total);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) problem = "cannot read " + name + ": " + std::strerror(errno);
      if (got <= 0) break;
      total += static_cast<std::size_t>(got);
    }
    text.resize(total);
    if (readableByOthers != nullptr) *readableByOthers = (info.st_mode & (S_IRWXG | S_IRWXO)) != 0;
  }
  ::close(fd);
  return problem;
}

}  // namespace

std::string WebSocketListener::Impl::listen() {
  const std::string shown = std::string(options_.address.secure ? "wss://" : "ws://") +
                            options_.address.host + ":" + std::to_string(options_.address.port);
  if (options_.token.empty()) return "the WebSocket endpoint needs a token";
  const std::optional<net::ip::address> ip = ipAddressOf(options_.address);
  if (!ip) return shown + ": not an IP address";
  if (options_.address.secure) {
    tls_.emplace(ssl::context::tls_server);
    tls_->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                      ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
    // The files are read here, not by OpenSSL: a FIFO or a device in their place is refused
    // rather than waited on, and a missing one is named with its cause.
    std::string certificate;
    std::string key;
    bool keyReadableByOthers = false;
    if (std::string problem =
            readTlsFile(options_.tlsCertificate, "certificate", certificate, nullptr);
        !problem.empty()) {
      return problem;
    }
    if (std::string problem = readTlsFile(options_.tlsKey, "key", key, &keyReadableByOthers);
        !problem.empty()) {
      return problem;
    }
    const std::string keyName = "the TLS key " + oneLine(options_.tlsKey.string());
    if (keyReadableByOthers && options_.warning) {
      options_.warning(keyName + " can be read by other users (chmod 600 it)");
    }
    const bool encrypted = key.find("ENCRYPTED") != std::string::npos;
    if (encrypted && !options_.tlsKeyPassPhrase) {
      return keyName + " is encrypted: give its pass phrase with --tls-key-pass-file FILE";
    }
    // Never a prompt on the terminal: the pass phrase given, or none.
    tls_->set_password_callback(
        [phrase = options_.tlsKeyPassPhrase.value_or(std::string())](
            std::size_t, ssl::context::password_purpose) { return phrase; });
    ErrorCode error;
    tls_->use_certificate_chain(net::buffer(certificate), error);
    if (error) {
      return "cannot use the TLS certificate " + oneLine(options_.tlsCertificate.string()) + ": " +
             error.message();
    }
    tls_->use_private_key(net::buffer(key), ssl::context::pem, error);
    if (error) {
      return "cannot use " + keyName + ": " + error.message() +
             (encrypted ? " (is the pass phrase right?)" : "");
    }
  }
  const tcp::endpoint endpoint(*ip, options_.address.port);
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
    peer = std::make_shared<Peer<TlsStream>>(shared_from_this(), address, order, std::move(socket),
                                             *tls_);
  } else {
    peer =
        std::make_shared<Peer<PlainStream>>(shared_from_this(), address, order, std::move(socket));
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

http::status WebSocketListener::Impl::check(const http::request<http::empty_body>& request,
                                            const std::string& address, std::string& reason) {
  const std::string_view target(request.target().data(), request.target().size());
  const std::size_t question = target.find('?');
  if (target.substr(0, question) != "/link") {
    reason = "the link is at /link";
    return http::status::not_found;
  }
  if (const auto origin = request.find(http::field::origin); origin != request.end()) {
    std::string value;
    // An Origin that is empty, "null" or not one at all matches nothing.
    if (!normalizeOrigin(std::string_view(origin->value().data(), origin->value().size()), value)
             .empty() ||
        std::find(allowedOrigins_.begin(), allowedOrigins_.end(), value) == allowedOrigins_.end()) {
      // A page open in a browser on this desktop must not drive the companion unless asked for.
      reason = "origin not allowed (dunvel-watch --allow-origin ORIGIN)";
      return http::status::forbidden;
    }
  }
  // The token first: the right one is let in whatever else came from its address.
  const std::string_view token = question == std::string_view::npos
                                     ? std::string_view()
                                     : queryParameter(target.substr(question + 1), "token");
  if (sameToken(token, options_.token)) {
    strikes_.erase(address);
    return http::status::ok;
  }
  const auto now = std::chrono::steady_clock::now();
  if (slowedDown(address, now)) {
    reason = "too many wrong tokens; try again later";
    return http::status::too_many_requests;
  }
  // Only a guess counts: a wrong token on a WebSocket upgrade. A browser's or a port scan's
  // plain GET or HEAD, or an upgrade without a token, guesses nothing.
  if (!token.empty() && websocket::is_upgrade(request)) {
    strike(address);
    if (now - wrongTokenSecond_ >= std::chrono::seconds(1)) {
      wrongTokenSecond_ = now;
      wrongTokensThisSecond_ = 0;
    }
    if (++wrongTokensThisSecond_ > kMaxWrongTokensPerSecond) {
      allSlowedUntil_ = now + kFirstSlowdown;
    }
  }
  reason = token.empty() ? "the link needs its token (/link?token=…)" : "wrong token";
  return http::status::unauthorized;
}

bool WebSocketListener::Impl::slowedDown(const std::string& address,
                                         std::chrono::steady_clock::time_point now) const {
  if (now < allSlowedUntil_) return true;
  const auto found = strikes_.find(address);
  return found != strikes_.end() && now < found->second.slowedUntil;
}

void WebSocketListener::Impl::strike(const std::string& address) {
  const auto now = std::chrono::steady_clock::now();
  if (strikes_.size() >= kMaxRememberedAddresses && !strikes_.contains(address)) {
    std::erase_if(strikes_, [now](const auto& entry) { return entry.second.slowedUntil <= now; });
    // Every remembered address slowed down at once: forget one rather than grow.
    if (strikes_.size() >= kMaxRememberedAddresses) strikes_.erase(strikes_.begin());
  }
  Strikes& strikes = strikes_[address];
  strikes.count = std::min(strikes.count + 1, 64);
  if (strikes.count < kFreeStrikes) return;
  const int doublings = std::min(strikes.count - kFreeStrikes, 16);
  strikes.slowedUntil = now + std::min(kFirstSlowdown * (1 << doublings), kLongestSlowdown);
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

}  // namespace dunvel
