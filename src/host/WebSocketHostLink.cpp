#include "host/WebSocketHostLink.h"

#include <openssl/ssl.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <deque>
#include <optional>

#include "platform/link/BeastNames.h"
#include "platform/link/LinkUrlFile.h"
#include "platform/link/WebSocketUrl.h"
#include "wire/LineSplitter.h"

namespace dunvel {

namespace {

constexpr std::chrono::seconds kConnectWithin{5};
// A companion silent for half of this is pinged; one that stays silent for all of it is gone.
constexpr std::chrono::seconds kSilenceTimeout{10};
// The payload of the ping that close() sends before its close handshake, told apart by it from
// the pings that keep a silent link alive.
constexpr const char* kDealtWithPing = "dealt-with";

// A link URL as a host connects to it: the port given or the scheme's, and a target that is at
// least "/".
std::string parseLinkUrl(std::string_view text, WebSocketUrl& url) {
  // The URL carries the token, which stays out of messages.
  const std::string shown = shownWebSocketUrl(text);
  ParsedWebSocketUrl parsed = parseWebSocketUrl(text);
  switch (parsed.error) {
    case WebSocketUrlError::none:
      break;
    case WebSocketUrlError::scheme:
      return shown + ": a WebSocket link starts with ws:// or wss://";
    case WebSocketUrlError::unclosedBracket:
      return shown + ": an IPv6 address needs its closing ]";
    case WebSocketUrlError::textAfterBracket:
      return shown + ": expected :PORT after the address";
  }
  url = std::move(parsed.url);
  if (url.host.empty()) return shown + ": the host is missing";
  if (url.portState == WebSocketUrl::Port::bad ||
      (url.portState == WebSocketUrl::Port::given && url.port == 0)) {
    return shown + ": the port must be a number from 1 to 65535";
  }
  if (url.portState == WebSocketUrl::Port::absent) {
    url.portState = WebSocketUrl::Port::given;
    url.port = url.secure ? 443 : 80;
  }
  if (!url.target.starts_with('/')) url.target.insert(0, "/");
  return {};
}

// What the link asks of a connection, whatever stream it runs on.
class Client {
 public:
  virtual ~Client() = default;
  virtual void connect(const tcp::resolver::results_type& addresses) = 0;
  virtual void send(std::string lines) = 0;
  virtual void close() = 0;
  virtual void closeNow() = 0;
};

}  // namespace

bool isWebSocketLink(std::string_view link) {
  return link.starts_with("ws://") || link.starts_with("wss://");
}

std::string shownLink(std::string_view link) {
  return isWebSocketLink(link) ? shownWebSocketUrl(link) : std::string(link);
}

bool hasLinkToken(std::string_view url) {
  const std::size_t question = url.find('?');
  if (question == std::string_view::npos) return false;
  const std::string_view query = url.substr(question + 1);
  return query.starts_with("token=") || query.find("&token=") != std::string_view::npos;
}

std::string findLinkUrl(std::string_view link, const std::filesystem::path& folder,
                        std::string& url) {
  WebSocketUrl wanted;
  if (std::string problem = parseLinkUrl(link, wanted); !problem.empty()) return problem;
  const std::string shown = shownWebSocketUrl(link);
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) {
    return shown + " has no token, and the companions' folder " + folder.string() +
           " cannot be read: " + error.message() + " (--link-file FILE names a URL file)";
  }
  // Each companion writes SOCKET.url beside its socket; the one for this address is the one.
  for (const auto& entry : entries) {
    if (entry.path().extension() != ".url") continue;
    std::string text;
    WebSocketUrl written;
    if (!readLinkUrlFile(entry.path(), text).empty() || !parseLinkUrl(text, written).empty()) {
      continue;
    }
    if (written.secure == wanted.secure && written.host == wanted.host &&
        written.port == wanted.port && hasLinkToken(text)) {
      url = std::move(text);
      return {};
    }
  }
  return shown + " has no token, and no companion in " + folder.string() +
         " wrote a URL file for that address (--link-file FILE names one)";
}

std::string checkWebSocketLinkUrl(std::string_view url) {
  WebSocketUrl parsed;
  return parseLinkUrl(url, parsed);
}

// Shared with its connection, whose handlers may still run after the link has stopped and gone:
// they keep it alive and find it stopping.
class WebSocketHostLink::Impl : public std::enable_shared_from_this<WebSocketHostLink::Impl> {
 public:
  Impl(net::io_context& io, std::string url, Handlers handlers)
      : url_(std::move(url)), handlers_(std::move(handlers)), io_(io), resolver_(io_) {
    problem_ = parseLinkUrl(url_, parsed_);
  }

  void start() {
    if (started_ || stopping_) return;
    started_ = true;
    // A link that cannot start reports so at once, and its owner may let it go from the handler.
    const std::shared_ptr<Impl> self = shared_from_this();
    begin();
  }

  void send(std::string lines) {
    if (client_) client_->send(std::move(lines));
  }

  void close() {
    if (client_) client_->close();
  }

  void stop() {
    if (stopping_) return;
    stopping_ = true;
    resolver_.cancel();
    // The connection holds this link while its handlers may run: letting it go here ends that
    // cycle, and it goes once its last handler has.
    if (client_) client_->closeNow();
    client_.reset();
  }

  bool stopping() const { return stopping_; }
  const Handlers& handlers() const { return handlers_; }
  const WebSocketUrl& parsed() const { return parsed_; }
  const std::string& url() const { return url_; }
  void finish(const std::string& reason) {
    if (finished_ || stopping_) return;
    finished_ = true;
    if (handlers_.closed) handlers_.closed(reason);
  }

 private:
  void begin();

  const std::string url_;
  Handlers handlers_;
  WebSocketUrl parsed_;
  std::string problem_;
  net::io_context& io_;
  tcp::resolver resolver_;
  std::optional<ssl::context> tls_;
  std::shared_ptr<Client> client_;
  bool started_ = false;
  bool stopping_ = false;
  bool finished_ = false;
};

namespace {

template <typename Stream>
class StreamClient final : public Client,
                           public std::enable_shared_from_this<StreamClient<Stream>> {
 public:
  static constexpr bool kSecure = !std::is_same_v<Stream, beast::tcp_stream>;

  template <typename... Arguments>
  explicit StreamClient(std::shared_ptr<WebSocketHostLink::Impl> owner, Arguments&&... arguments)
      : owner_(std::move(owner)), ws_(std::forward<Arguments>(arguments)...) {}

  void connect(const tcp::resolver::results_type& addresses) override {
    beast::get_lowest_layer(ws_).expires_after(kConnectWithin);
    beast::get_lowest_layer(ws_).async_connect(
        addresses, [self = this->shared_from_this()](ErrorCode error, const tcp::endpoint&) {
          if (error)
            return self->fail("no companion is listening on " + shownWebSocketUrl(self->url()) +
                              " (" + error.message() + ")");
          // A frame goes out as soon as it is written, not when the previous one is acknowledged.
          ErrorCode ignored;
          beast::get_lowest_layer(self->ws_).socket().set_option(tcp::no_delay(true), ignored);
          self->secure();
        });
  }

  void send(std::string lines) override {
    if (!open_ || closing_) return;
    // Cut into lines as the companion cuts what arrives on its socket; a last line without its
    // newline is still a line.
    if (lines.empty() || lines.back() != '\n') lines.push_back('\n');
    bool any = false;
    LineSplitter(lines.size())
        .feed(
            lines,
            [&](std::string_view line) {
              outgoing_.push_back({std::string(line), false});
              any = true;
            },
            [] {});
    if (!any) outgoing_.push_back({std::string(), true});
    outgoing_.back().last = true;
    if (!writing_) writeNext();
  }

  void close() override {
    closeRequested_ = true;
    if (open_ && !writing_) writeNext();
  }

  void closeNow() override { beast::get_lowest_layer(ws_).close(); }

 private:
  struct Outgoing {
    std::string text;
    bool last = false;  // the end of one send(): written() follows it
  };

  const std::string& url() const { return owner_->url(); }

  void secure() {
    if constexpr (kSecure) {
      const std::string& host = owner_->parsed().host;
      // The name the companion's certificate is checked against, and sent for virtual hosting.
      if (SSL_set_tlsext_host_name(ws_.next_layer().native_handle(), host.c_str()) != 1) {
        return fail("cannot set the TLS server name " + host);
      }
      ws_.next_layer().set_verify_callback(ssl::host_name_verification(host));
      ws_.next_layer().async_handshake(
          ssl::stream_base::client, [self = this->shared_from_this()](ErrorCode error) {
            if (error) {
              return self->fail("TLS with " + shownWebSocketUrl(self->url()) +
                                " failed: " + error.message());
            }
            self->handshake();
          });
    } else {
      handshake();
    }
  }

  void handshake() {
    const WebSocketUrl& parsed = owner_->parsed();
    const bool v6 = parsed.host.find(':') != std::string::npos;
    const std::string host =
        (v6 ? "[" + parsed.host + "]" : parsed.host) + ":" + std::to_string(parsed.port);
    ws_.set_option(websocket::stream_base::decorator([](websocket::request_type& request) {
      request.set(http::field::user_agent, "dunvel-host");
    }));
    ws_.async_handshake(
        response_, host, parsed.target, [self = this->shared_from_this()](ErrorCode error) {
          if (error) {
            std::string why = error.message();
            // A response that never came leaves the default one (200, no fields): say that the
            // companion answered nothing rather than quote a status it never sent.
            const bool answered = self->response_.result_int() != 200 ||
                                  self->response_.begin() != self->response_.end();
            if (!answered) {
              return self->fail(
                  "the companion at " + shownWebSocketUrl(self->url()) +
                  " closed the connection before answering (" + why + ")" +
                  (kSecure ? std::string() : "; if it listens on wss://, use a wss:// link"));
            }
            if (self->response_.result_int() != 0 && self->response_.result_int() != 101) {
              std::string body = self->response_.body();
              while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
              why = std::to_string(self->response_.result_int()) + " " +
                    std::string(self->response_.reason()) + (body.empty() ? "" : ": " + body);
            }
            return self->fail("the companion at " + shownWebSocketUrl(self->url()) +
                              " refused the connection: " + why);
          }
          self->opened();
        });
  }

  void opened() {
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout timeout =
        websocket::stream_base::timeout::suggested(beast::role_type::client);
    timeout.idle_timeout = kSilenceTimeout;
    timeout.keep_alive_pings = true;
    ws_.set_option(timeout);
    ws_.text(true);
    open_ = true;
    if (!owner_->stopping() && owner_->handlers().opened) owner_->handlers().opened();
    read();
    if (closeRequested_ && !writing_) writeNext();
  }

  void read() {
    ws_.async_read(incoming_, [self = this->shared_from_this()](ErrorCode error, std::size_t) {
      if (error) return self->ended(error);
      std::string text = beast::buffers_to_string(self->incoming_.data());
      self->incoming_.consume(self->incoming_.size());
      if (!self->owner_->stopping() && self->owner_->handlers().message) {
        self->owner_->handlers().message(std::move(text));
      }
      self->read();
    });
  }

  void writeNext() {
    if (outgoing_.empty()) {
      if (closeRequested_ && !closing_) {
        closing_ = true;
        // A close handshake drops the messages that arrive once it has begun, and with them the
        // companion's answers to the last lines sent. The companion reads a ping only once it
        // has dealt with every message before it, and answers it after them: the handshake
        // begins at the pong.
        ws_.control_callback([this](websocket::frame_type kind, beast::string_view payload) {
          // Runs within a read, whose handler holds this client.
          if (kind == websocket::frame_type::pong && payload == kDealtWithPing) {
            net::post(ws_.get_executor(),
                      [self = this->shared_from_this()] { self->closeCleanly(); });
          }
        });
        ws_.async_ping(websocket::ping_data(kDealtWithPing),
                       [self = this->shared_from_this()](ErrorCode error) {
                         // A close that came first is reported by the read it ends.
                         if (error && error != net::error::operation_aborted) self->ended(error);
                       });
      }
      return;
    }
    writing_ = true;
    if (outgoing_.front().text.empty()) return written();
    ws_.async_write(net::buffer(outgoing_.front().text),
                    [self = this->shared_from_this()](ErrorCode error, std::size_t) {
                      if (error) return self->ended(error);
                      self->written();
                    });
  }

  void closeCleanly() {
    ws_.async_close(websocket::close_code::normal,
                    [self = this->shared_from_this()](ErrorCode error) {
                      if (error) return self->ended(error);
                      self->owner_->finish("");
                      self->closeNow();
                    });
  }

  void written() {
    writing_ = false;
    const bool last = outgoing_.front().last;
    outgoing_.pop_front();
    if (last && !owner_->stopping() && owner_->handlers().written) owner_->handlers().written();
    writeNext();
  }

  void ended(ErrorCode error) {
    std::string reason;
    if (error == websocket::error::closed) {
      const websocket::close_reason& closed = ws_.reason();
      if (closed.code != websocket::close_code::normal) {
        reason = "the companion closed the link (" + std::to_string(closed.code) +
                 (closed.reason.empty() ? "" : " " + std::string(closed.reason)) + ")";
      }
    } else {
      reason = "the link broke: " + error.message();
    }
    owner_->finish(reason);
    closeNow();
  }

  void fail(const std::string& reason) {
    owner_->finish(reason);
    closeNow();
  }

  const std::shared_ptr<WebSocketHostLink::Impl> owner_;
  websocket::stream<Stream> ws_;
  websocket::response_type response_;
  beast::flat_buffer incoming_;
  std::deque<Outgoing> outgoing_;
  bool open_ = false;
  bool writing_ = false;
  bool closeRequested_ = false;
  bool closing_ = false;
};

}  // namespace

void WebSocketHostLink::Impl::begin() {
  if (!problem_.empty()) return finish(problem_);
  if (parsed_.secure) {
    tls_.emplace(ssl::context::tls_client);
    tls_->set_default_verify_paths();
    tls_->set_verify_mode(ssl::verify_peer);
  }
  resolver_.async_resolve(
      parsed_.host, std::to_string(parsed_.port),
      [self = shared_from_this()](ErrorCode error, const tcp::resolver::results_type& addresses) {
        if (self->stopping_) return;
        if (error) {
          return self->finish("cannot find " + self->parsed_.host + " for " +
                              shownWebSocketUrl(self->url_) + ": " + error.message());
        }
        if (self->tls_) {
          self->client_ = std::make_shared<StreamClient<beast::ssl_stream<beast::tcp_stream>>>(
              self, self->io_, *self->tls_);
        } else {
          self->client_ = std::make_shared<StreamClient<beast::tcp_stream>>(self, self->io_);
        }
        self->client_->connect(addresses);
      });
}

WebSocketHostLink::WebSocketHostLink(net::io_context& io, std::string url, Handlers handlers)
    : impl_(std::make_shared<Impl>(io, std::move(url), std::move(handlers))) {}

WebSocketHostLink::~WebSocketHostLink() {
  impl_->stop();
}

void WebSocketHostLink::start() {
  impl_->start();
}
void WebSocketHostLink::send(std::string lines) {
  impl_->send(std::move(lines));
}
void WebSocketHostLink::close() {
  impl_->close();
}
void WebSocketHostLink::stop() {
  impl_->stop();
}

}  // namespace dunvel
