#include "host/HostConnection.h"

#include <array>
#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <deque>
#include <future>
#include <thread>
#include <vector>

#include "host/WebSocketHostLink.h"
#include "platform/link/OutgoingLines.h"
#include "platform/link/PeerCredentials.h"
#include "wire/LineSplitter.h"

namespace dunvel {

namespace net = boost::asio;
using ErrorCode = boost::system::error_code;

namespace {

using Local = net::local::stream_protocol;

// Retries start quickly, so a restarted companion is found within moments, and slow down while
// nobody is there.
constexpr std::chrono::milliseconds kFirstRetry{100};
constexpr std::chrono::milliseconds kLongestRetry{2000};
// A socket whose queue of connections is full turns a connection away at once rather than
// making it wait; it is asked again this often.
constexpr std::chrono::milliseconds kFullQueueRetry{50};

bool queueIsFull(const ErrorCode& error) {
  return error == net::error::would_block || error == net::error::try_again ||
         error == net::error::no_buffer_space;
}

}  // namespace

class HostConnection::Impl {
 public:
  Impl(std::string link, Reconnect reconnect, Handlers handlers)
      : link_(std::move(link)),
        reconnect_(reconnect),
        handlers_(std::move(handlers)),
        work_(net::make_work_guard(io_)),
        retry_(io_) {}

  ~Impl() { stop(); }

  const std::string& link() const { return link_; }
  bool isConnected() const { return connected_; }

  void start() {
    if (thread_.joinable() || stopped_) return;
    net::post(io_, [this] { connect(); });
    thread_ = std::thread([this] { io_.run(); });
  }

  void stop() {
    if (stopped_) return;
    stopped_ = true;
    net::post(io_, [this] {
      stopping_ = true;
      retry_.cancel();
      for (auto& timer : timers_) timer->cancel();
      closeSocket();
      io_.stop();
    });
    work_.reset();
    if (thread_.joinable()) thread_.join();
    connected_ = false;
  }

  void send(std::string line) {
    net::post(io_, [this, line = std::move(line)]() mutable {
      if (ws_) {
        if (!connected_ || finishing_) return;
        ++wsUnwritten_;
        ws_->send(std::move(line));
        return;
      }
      if (!socket_ || !connected_ || finishing_) return;
      outgoing_.push(std::move(line));
      if (outgoing_.size() == 1) writeNext(socket_);
    });
  }

  bool flush(std::chrono::milliseconds within) {
    auto written = std::make_shared<std::promise<void>>();
    std::future<void> done = written->get_future();
    net::post(io_, [this, written] {
      if ((outgoing_.empty() && wsUnwritten_ == 0) || stopping_) {
        written->set_value();
      } else {
        flushes_.push_back(written);
      }
    });
    return done.wait_for(within) == std::future_status::ready;
  }

  void finishSending() {
    net::post(io_, [this] {
      if (finishing_ || stopping_) return;
      finishing_ = true;
      if (connected_) endSending();
    });
  }

  void post(std::function<void()> block) { net::post(io_, std::move(block)); }

  void every(std::chrono::milliseconds interval, std::function<void()> tick) {
    net::post(io_, [this, interval, tick = std::move(tick)]() mutable {
      if (stopping_) return;
      timers_.push_back(std::make_unique<net::steady_timer>(io_));
      schedule(*timers_.back(), interval, std::make_shared<std::function<void()>>(std::move(tick)));
    });
  }

 private:
  using SocketPtr = std::shared_ptr<Local::socket>;

  void schedule(net::steady_timer& timer, std::chrono::milliseconds interval,
                std::shared_ptr<std::function<void()>> tick) {
    timer.expires_after(interval);
    timer.async_wait([this, &timer, interval, tick](ErrorCode error) {
      if (error || stopping_) return;
      (*tick)();
      schedule(timer, interval, tick);
    });
  }

  void connect() {
    if (stopping_) return;
    if (isWebSocketLink(link_)) return connectWebSocket();
    Local::endpoint endpoint;
    try {
      endpoint = Local::endpoint(link_);
    } catch (const boost::system::system_error& error) {
      // A path too long for a Unix socket: no attempt can ever succeed.
      if (handlers_.disconnected) {
        handlers_.disconnected(HostDisconnect::attemptFailed,
                               "cannot use " + link_ + ": " + error.code().message());
      }
      return;
    }
    auto socket = std::make_shared<Local::socket>(io_);
    socket->async_connect(endpoint, [this, socket](ErrorCode error) {
      if (stopping_) return;
      if (queueIsFull(error)) {
        // Nobody is turned away here: the companion is there but busy, or stopped for a while.
        ErrorCode ignored;
        socket->close(ignored);
        retry_.expires_after(kFullQueueRetry);
        retry_.async_wait([this](ErrorCode waitError) {
          if (!waitError) connect();
        });
        return;
      }
      if (error) {
        failed(HostDisconnect::attemptFailed,
               "no companion is listening on " + link_ + " (" + error.message() + ")");
        return;
      }
      if (std::string refusal = checkPeerIsSameUser(socket->native_handle()); !refusal.empty()) {
        ErrorCode ignored;
        socket->close(ignored);
        failed(HostDisconnect::attemptFailed, refusal);
        return;
      }
      connectedAt_ = std::chrono::steady_clock::now();
      socket_ = socket;
      splitter_.reset();
      outgoing_.clear();
      connected_ = true;
      if (handlers_.connected) handlers_.connected();
      read(socket);
      if (finishing_) endSending();
    });
  }

  // The link over a WebSocket runs on this connection's io_context: what it reports is handled
  // here as it happens, as the socket's events are.
  void connectWebSocket() {
    WebSocketHostLink::Handlers events;
    events.opened = [this] {
      connectedAt_ = std::chrono::steady_clock::now();
      connected_ = true;
      if (handlers_.connected) handlers_.connected();
      if (finishing_) endSending();
    };
    events.message = [this](const std::string& text) { received(text); };
    events.written = [this] {
      if (wsUnwritten_ > 0 && --wsUnwritten_ == 0) releaseFlushes();
    };
    events.closed = [this](const std::string& reason) {
      const bool wasConnected = connected_;
      closeSocket();
      if (wasConnected && std::chrono::steady_clock::now() - connectedAt_ >= kLongestRetry) {
        retryDelay_ = kFirstRetry;
      }
      if (!wasConnected) {
        failed(HostDisconnect::attemptFailed,
               !reason.empty() ? reason : "the companion closed the link before it opened");
      } else if (reason.empty()) {
        failed(HostDisconnect::companionClosed, "the companion closed the link");
      } else {
        failed(HostDisconnect::linkBroke, reason);
      }
    };
    ws_ = std::make_unique<WebSocketHostLink>(io_, link_, std::move(events));
    ws_->start();
  }

  void failed(HostDisconnect how, const std::string& reason) {
    if (handlers_.disconnected) handlers_.disconnected(how, reason);
    if (reconnect_ == Reconnect::never || stopping_ || finishing_) return;
    retry_.expires_after(retryDelay_);
    retryDelay_ = std::min(retryDelay_ * 2, kLongestRetry);
    retry_.async_wait([this](ErrorCode error) {
      if (!error) connect();
    });
  }

  void read(const SocketPtr& socket) {
    socket->async_read_some(net::buffer(buffer_), [this, socket](ErrorCode error,
                                                                 std::size_t size) {
      if (stopping_ || socket != socket_) return;
      if (error) {
        closeSocket();
        // A connection that lasted starts the retries afresh; one the companion turned away at
        // once (another host holds the link) keeps slowing them down.
        if (std::chrono::steady_clock::now() - connectedAt_ >= kLongestRetry) {
          retryDelay_ = kFirstRetry;
        }
        // A companion that closes at once after dealing with what it was sent (refusing it, say)
        // may leave bytes of it unread, and its close then arrives as a reset: once this end
        // has finished sending, that is the companion closing in turn too.
        if (error == net::error::eof || (finishing_ && error == net::error::connection_reset)) {
          failed(HostDisconnect::companionClosed, "the companion closed the link");
        } else {
          failed(HostDisconnect::linkBroke, "the link broke: " + error.message());
        }
        return;
      }
      splitter_.feed(
          std::string_view(buffer_.data(), size), [this](std::string_view line) { received(line); },
          [this] {
            if (handlers_.problem) {
              handlers_.problem(HostProblem::unreadableLine,
                                "the companion sent a line over 1 MiB");
            }
          });
      if (socket == socket_) read(socket);
    });
  }

  void received(std::string_view line) {
    const auto [parsed, problem] = LinkFrame::parse(line);
    if (!parsed) {
      if (handlers_.problem) {
        handlers_.problem(HostProblem::unreadableLine,
                          "unreadable line from the companion: " + problem);
      }
      return;
    }
    const LinkFrame& frame = *parsed;
    if (frame.type == LinkFrame::Type::error) {
      if (handlers_.problem) handlers_.problem(HostProblem::companionError, frame.message);
    } else if (frame.type == LinkFrame::Type::message) {
      if (handlers_.message) handlers_.message(frame.payload);
    }
    // The companion sends nothing else; anything else is ignored rather than answered.
  }

  void writeNext(const SocketPtr& socket) {
    net::async_write(*socket, net::buffer(outgoing_.front()),
                     [this, socket](ErrorCode error, std::size_t) {
                       if (stopping_ || socket != socket_) return;
                       // A failed write shows up as a failed read as well; that one reconnects.
                       if (error) {
                         outgoing_.clear();
                         releaseFlushes();
                         return;
                       }
                       outgoing_.pop();
                       if (!outgoing_.empty()) {
                         writeNext(socket);
                       } else {
                         releaseFlushes();
                         if (finishing_) endSending();
                       }
                     });
  }

  // Once everything sent is written: the companion reads end of input after the last line.
  // Until then, the last write's completion calls it again.
  void endSending() {
    if (ws_) {
      // The link closes after everything sent before.
      ws_->close();
      return;
    }
    if (!socket_ || !outgoing_.empty()) return;
    ErrorCode ignored;
    socket_->shutdown(Local::socket::shutdown_send, ignored);
  }

  void closeSocket() {
    connected_ = false;
    if (ws_) {
      ws_->stop();
      ws_.reset();
    }
    wsUnwritten_ = 0;
    if (socket_) {
      ErrorCode ignored;
      socket_->close(ignored);
    }
    socket_.reset();
    outgoing_.clear();
    splitter_.reset();
    releaseFlushes();
  }

  void releaseFlushes() {
    for (auto& waiting : flushes_) waiting->set_value();
    flushes_.clear();
  }

  const std::string link_;
  const Reconnect reconnect_;
  Handlers handlers_;
  net::io_context io_;
  net::executor_work_guard<net::io_context::executor_type> work_;
  net::steady_timer retry_;
  std::thread thread_;
  bool stopped_ = false;  // the owner's thread

  // I/O thread only.
  bool stopping_ = false;
  // finishSending was called: nothing more goes out, and no connection is made again.
  bool finishing_ = false;
  SocketPtr socket_;
  LineSplitter splitter_;
  std::array<char, 64 * 1024> buffer_{};
  OutgoingLines outgoing_;
  // Callers of flush waiting for outgoing_ to empty.
  std::vector<std::shared_ptr<std::promise<void>>> flushes_;
  std::chrono::milliseconds retryDelay_ = kFirstRetry;
  std::chrono::steady_clock::time_point connectedAt_;
  std::vector<std::unique_ptr<net::steady_timer>> timers_;
  // The link over a WebSocket, when the link is a ws:// or wss:// URL: the current attempt (a
  // stopped one reports nothing more), and sends not yet written.
  std::unique_ptr<WebSocketHostLink> ws_;
  std::size_t wsUnwritten_ = 0;

  std::atomic<bool> connected_ = false;
};

HostConnection::HostConnection(std::string link, Reconnect reconnect, Handlers handlers)
    : impl_(std::make_unique<Impl>(std::move(link), reconnect, std::move(handlers))) {}

HostConnection::~HostConnection() = default;

void HostConnection::start() {
  impl_->start();
}
void HostConnection::stop() {
  impl_->stop();
}
void HostConnection::send(std::string line) {
  impl_->send(std::move(line));
}
bool HostConnection::flush(std::chrono::milliseconds within) {
  return impl_->flush(within);
}
void HostConnection::finishSending() {
  impl_->finishSending();
}
void HostConnection::post(std::function<void()> block) {
  impl_->post(std::move(block));
}
void HostConnection::every(std::chrono::milliseconds interval, std::function<void()> tick) {
  impl_->every(interval, std::move(tick));
}
bool HostConnection::isConnected() const {
  return impl_->isConnected();
}
const std::string& HostConnection::link() const {
  return impl_->link();
}

}  // namespace dunvel
