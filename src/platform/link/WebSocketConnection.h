#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/link/BeastNames.h"
#include "platform/link/OutgoingLines.h"
#include "platform/link/WebSocketPeer.h"
#include "platform/link/WebSocketPeerOwner.h"
#include "wire/LinkFrame.h"

namespace dunvel {

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
class WebSocketConnection final : public WebSocketPeer,
                                  public std::enable_shared_from_this<WebSocketConnection<Stream>> {
 public:
  static constexpr bool kSecure = std::is_same_v<Stream, TlsStream>;
  // A handshake is a few hundred bytes; browsers send a few kilobytes of headers at most.
  static constexpr std::uint32_t kMaxRequestHeaderBytes = 16 * 1024;
  // How late a 429 goes out. Its handshake slot is held meanwhile, so guesses cost time whatever
  // they are answered, and the slots per address bound how many one address has in flight.
  static constexpr std::chrono::milliseconds kSlowedAnswerDelay{1000};

  template <typename... Arguments>
  WebSocketConnection(std::shared_ptr<WebSocketPeerOwner> owner, std::string address,
                      std::uint64_t order, Arguments&&... arguments)
      : owner_(std::move(owner)),
        address_(std::move(address)),
        order_(order),
        ws_(std::forward<Arguments>(arguments)...),
        answerDelay_(beast::get_lowest_layer(ws_).get_executor()) {}

  ~WebSocketConnection() override {
    // A viewer's handshake that held a place and never opened gives it back.
    if (viewerPlace_) owner_->viewerHub()->unreserve();
  }

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
    if (state_ == Lifecycle::opened) state_ = Lifecycle::admitted;
    read();
  }

  void turnAway(std::string errorLine) override {
    closeWhenWritten_ = websocket::close_code::try_again_later;
    send(std::move(errorLine));
  }

  void send(std::string line) override {
    if (state_ == Lifecycle::closing || state_ == Lifecycle::ended) return;
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
    closeWhenWritten_ = websocket::close_code::going_away;
    if (!writing_) writeNext();
  }

  void closeNow() override {
    state_ = Lifecycle::ended;
    beast::get_lowest_layer(ws_).close();
  }

  void evict() override {
    // Ended here, its handshake never ends in a report: the endpoint has forgotten it already.
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
    HandshakeAnswer answer = owner_->check(request, address_);
    if (answer.status == http::status::ok && answer.file != nullptr) {
      return servePage(*answer.file, request.version(), head);
    }
    if (answer.status == http::status::ok && !websocket::is_upgrade(request)) {
      answer.status = http::status::upgrade_required;
      answer.reason = "this is a WebSocket endpoint";
    }
    if (answer.status != http::status::ok) {
      return refuse(answer.status, answer.reason, request.version(), head);
    }
    viewerPlace_ = answer.viewer;

    if (viewerPlace_) {
      ws_.read_message_max(owner_->viewerHub()->maxMessageBytes());
      // The face's pixels go raw: compressed on the way, they cost a tick's band, not a face.
      websocket::permessage_deflate deflate;
      deflate.server_enable = true;
      // Most of a frame's cost to the companion is the deflate's search for matches: a fast
      // level keeps a tick's message small (its pixels are mostly runs) at a fraction of it.
      deflate.compLevel = 1;
      ws_.set_option(deflate);
    } else {
      ws_.read_message_max(owner_->options().maxMessageBytes);
    }
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
      if (error || self->state_ == Lifecycle::ended) return self->handshakeFailed();
      self->writeRefusal();
    });
  }

  // A file of the view's page: nothing in it runs but its own script, and nothing is guessed.
  void servePage(const ViewFile& file, unsigned version, bool head) {
    head_ = head;
    response_.emplace(http::status::ok, version);
    response_->set(http::field::server, "dunvel");
    response_->set(http::field::content_type, file.contentType);
    response_->set("Content-Security-Policy",
                   "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                   "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    response_->set("X-Content-Type-Options", "nosniff");
    response_->set(http::field::cache_control, "no-store");
    response_->set("Referrer-Policy", "no-referrer");
    response_->keep_alive(false);
    response_->body() = file.body;
    response_->prepare_payload();
    writeRefusal();
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
    state_ = Lifecycle::ended;
    ErrorCode ignored;
    beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(ws_).close();
  }

  // The handshake is over, opened or failed: its slot with the endpoint is free.
  void endHandshake() {
    if (state_ != Lifecycle::handshaking) return;
    state_ = Lifecycle::opened;
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
    if (viewerPlace_) {
      viewerPlace_ = false;
      viewer_ = owner_->viewerHub()->arrived(this->shared_from_this(), address_);
      if (viewer_ == 0) return closeNow();
      state_ = Lifecycle::admitted;
      return readView();
    }
    host_ = owner_->arrived(this->shared_from_this());
    if (host_ == 0) closeNow();
  }

  // A viewer's messages are read as they come: the hub checks each at once.
  void readView() {
    if (state_ != Lifecycle::admitted) return;
    ws_.async_read(incoming_, [self = this->shared_from_this()](ErrorCode error, std::size_t) {
      if (error) {
        self->viewerWhy_ = error == websocket::error::message_too_big
                               ? "a message over " +
                                     std::to_string(self->owner_->viewerHub()->maxMessageBytes()) +
                                     " bytes (1009)"
                               : std::string();
        return self->end();
      }
      const std::string text = beast::buffers_to_string(self->incoming_.data());
      self->incoming_.consume(self->incoming_.size());
      self->owner_->viewerHub()->received(self->viewer_, text, !self->ws_.got_text());
      self->readView();
    });
  }

 public:
  void sendView(std::shared_ptr<const std::string> bytes, bool binary) override {
    if (state_ == Lifecycle::closing || state_ == Lifecycle::ended || writing_) return;
    writing_ = true;
    ws_.binary(binary);
    const net::const_buffer buffer(bytes->data(), bytes->size());
    ws_.async_write(buffer, [self = this->shared_from_this(), bytes = std::move(bytes)](
                                ErrorCode error, std::size_t) {
      self->writing_ = false;
      if (error) return self->end();
      if (self->closeWhenWritten_) return self->writeNext();
      if (self->viewer_ != 0) self->owner_->viewerHub()->written(self->viewer_);
    });
  }

  void closeWith(std::uint16_t code) override {
    closeWhenWritten_ = static_cast<websocket::close_code>(code);
    if (!writing_) writeNext();
  }

 private:
  void read() {
    if (viewer_ != 0) return;
    if (state_ != Lifecycle::admitted || reading_ || handling_) return;
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
    if (state_ == Lifecycle::ended || writing_) return;
    if (outgoing_.empty()) {
      if (closeWhenWritten_ && state_ != Lifecycle::closing) {
        state_ = Lifecycle::closing;
        ws_.async_close(websocket::close_reason(*closeWhenWritten_),
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
    if (viewer_ != 0) {
      const ViewerId viewer = viewer_;
      viewer_ = 0;
      owner_->viewerHub()->left(viewer, viewerWhy_);
    }
    if (host_ != 0) {
      const RemoteHostId host = host_;
      host_ = 0;
      owner_->left(host);
    }
    if (state_ == Lifecycle::ended) return;
    state_ = Lifecycle::ended;
    beast::get_lowest_layer(ws_).close();
  }

  const std::shared_ptr<WebSocketPeerOwner> owner_;
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
  // A viewer of the view instead of a host: its place held during the handshake, then its number.
  bool viewerPlace_ = false;
  ViewerId viewer_ = 0;
  std::string viewerWhy_;
  // Where the connection is in its life: each state follows the one before it, and any may end.
  enum class Lifecycle {
    handshaking,  // accepted (TLS included), its upgrade request not yet answered
    opened,       // a WebSocket, waiting for the session to admit it or turn it away
    admitted,     // the session's host: its messages are read
    closing,      // its close handshake is under way
    ended,        // its socket is closed
  };
  Lifecycle state_ = Lifecycle::handshaking;
  // Asked to close once everything queued is written, with this code.
  std::optional<websocket::close_code> closeWhenWritten_;
  // Operations under way, one of each kind at a time.
  bool reading_ = false;
  bool handling_ = false;  // the session has the last message read and not yet dealt with it
  bool writing_ = false;
};

}  // namespace dunvel
