#include "platform/link/SocketSession.h"

#include <sys/stat.h>
#include <unistd.h>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "platform/link/OneHostLink.h"
#include "platform/link/OutgoingLines.h"
#include "platform/link/PeerCredentials.h"
#include "wire/LinkFrame.h"

namespace dunvel {

namespace net = boost::asio;
using ErrorCode = boost::system::error_code;

namespace {

using Local = net::local::stream_protocol;

constexpr std::size_t kReadChunkBytes = 64 * 1024;

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

// A socket file may be left over from a run that ended without cleaning up, or belong to a
// companion that is still running. Only a connection attempt tells them apart; it is made without
// blocking, since a live companion with a full backlog would not accept it soon. Removes a stale
// one; returns an empty string when the path is free now, else one line saying why it is not.
std::string removeStaleSocket(net::io_context& io, const std::filesystem::path& path) {
  const std::string name = path.string();
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return {};
  if (!S_ISSOCK(info.st_mode)) {
    return "refusing to replace " + name + ": it exists and is not a socket";
  }
  Local::socket probe(io);
  ErrorCode error;
  probe.open(Local(), error);
  if (!error) probe.non_blocking(true, error);
  if (!error) probe.connect(Local::endpoint(name), error);
  if (!error || error == net::error::would_block || error == net::error::try_again ||
      error == net::error::in_progress) {
    return "another companion is already listening on " + name;
  }
  if (error != net::error::connection_refused) {
    return "cannot check the existing socket " + name + ": " + error.message();
  }
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    return "cannot remove the stale socket " + name + ": " + std::strerror(errno);
  }
  return {};
}

// The hooks move to the link, which is the one to call them; the transport keeps the rest.
OneHostLink::Hooks hooksOf(SocketSession::Options& options) {
  return {std::move(options.waitUntilPendingAtMost), options.maxPendingSnapshots,
          std::move(options.traffic), std::move(options.snapshotReceived)};
}

}  // namespace

class SocketSession::Impl {
 public:
  Impl(SocketSession& session, Options options)
      : options_(std::move(options)),
        link_(session, hooksOf(options_)),
        work_(net::make_work_guard(io_)),
        acceptor_(io_),
        acceptRetry_(io_) {
    thread_ = std::thread([this] { io_.run(); });
  }

  ~Impl() { stop(); }

  const std::filesystem::path& path() const { return options_.path; }

  std::string listen();
  void stop();

  void setDelegate(SessionDelegate* delegate) { link_.setDelegate(delegate); }
  void activate() {
    net::post(io_, [this] {
      if (link_.activate(listening_)) startAccept();
    });
  }

  ContextDictionary receivedApplicationContext() const { return link_.lastContext(); }
  bool isReachable() const { return link_.isReachable(); }

  void sendMessage(const ContextDictionary& message) {
    link_.messageSent(message);
    // Serialised on the caller's thread, so the I/O thread only moves bytes.
    net::post(io_, [this, line = LinkFrame::messageLine(message)]() mutable {
      if (host_ && !host_->closed && !host_->closeWhenWritten) {
        queueLine(host_, std::move(line));
      } else {
        link_.sendToRemoteHost(line);
      }
    });
  }

  net::io_context& ioContext() { return io_; }
  bool runOnIoThread(const std::function<void()>& block) {
    if (stopped_) {
      block();
      return false;
    }
    std::promise<void> ran;
    net::post(io_, [&] {
      block();
      ran.set_value();
    });
    ran.get_future().wait();
    return true;
  }
  void attachEndpoint(RemoteHostEndpoint* endpoint) { link_.attachEndpoint(endpoint); }
  void remoteHostArrived(RemoteHostId host) {
    net::post(io_, [this, host] { link_.remoteHostArrived(host); });
  }
  void remoteLine(RemoteHostId host, std::string line) {
    net::post(io_, [this, host, line = std::move(line)] { link_.remoteLine(host, line); });
  }
  void remoteHostLeft(RemoteHostId host) {
    net::post(io_, [this, host] { link_.remoteHostLeft(host); });
  }

 private:
  struct Connection {
    Connection(Local::socket socket, std::size_t maxLineBytes)
        : socket(std::move(socket)), splitter(maxLineBytes), buffer(kReadChunkBytes) {}

    Local::socket socket;
    LineSplitter splitter;
    std::vector<char> buffer;
    OutgoingLines outgoing;
    bool reading = false;
    bool writing = false;
    bool closeWhenWritten = false;
    bool closed = false;
  };
  using ConnectionPtr = std::shared_ptr<Connection>;

  // Everything below runs on the I/O thread.
  void startAccept();
  void admit(Local::socket socket);
  void startRead(const ConnectionPtr& connection);
  void queueLine(const ConnectionPtr& connection, std::string line);
  void writeNext(const ConnectionPtr& connection);
  void inputEnded(const ConnectionPtr& connection, bool cleanly);
  void close(const ConnectionPtr& connection);

  Options options_;
  // Which host holds the link, its frames and its reachability; the transport below only moves
  // the socket host's bytes.
  OneHostLink link_;
  // Declared before every socket and timer: they must be destroyed first.
  net::io_context io_;
  net::executor_work_guard<net::io_context::executor_type> work_;
  Local::acceptor acceptor_;
  net::steady_timer acceptRetry_;
  std::thread thread_;

  // Main thread: written before activation, read on the I/O thread after the activation post.
  std::atomic<bool> listening_ = false;
  std::optional<FileIdentity> socketFile_;
  bool stopped_ = false;

  // I/O thread only: the socket's host while it holds the link.
  ConnectionPtr host_;
};

std::string SocketSession::Impl::listen() {
  const std::string name = options_.path.string();
  if (listening_) return "the link already listens on " + name;
  if (std::string problem = checkLinkPathLength(options_.path); !problem.empty()) return problem;
  if (std::string problem = prepareLinkFolder(options_.path, options_.folderPolicy);
      !problem.empty()) {
    return problem;
  }
  if (std::string problem = removeStaleSocket(io_, options_.path); !problem.empty()) {
    return problem;
  }

  ErrorCode error;
  acceptor_.open(Local(), error);
  if (!error) acceptor_.bind(Local::endpoint(name), error);
  if (error) {
    acceptor_.close();
    return "cannot bind " + name + ": " + error.message();
  }
  // The folder already keeps strangers out; the mode is a second lock on the door.
  if (chmod(options_.path.c_str(), 0600) != 0) {
    const std::string reason = std::strerror(errno);
    acceptor_.close();
    unlink(options_.path.c_str());
    return "cannot set mode 0600 on " + name + ": " + reason;
  }
  acceptor_.listen(Local::acceptor::max_listen_connections, error);
  if (error) {
    acceptor_.close();
    unlink(options_.path.c_str());
    return "cannot listen on " + name + ": " + error.message();
  }
  socketFile_ = identityOf(options_.path);
  listening_ = true;
  return {};
}

void SocketSession::Impl::stop() {
  if (stopped_) return;
  stopped_ = true;
  net::post(io_, [this] {
    ErrorCode ignored;
    acceptor_.close(ignored);
    acceptRetry_.cancel();
    if (host_) close(host_);
    host_.reset();
    link_.closeAll();
    // Refused connections still writing their error line are abandoned; the io_context's
    // destruction closes them.
    io_.stop();
  });
  work_.reset();
  if (thread_.joinable()) thread_.join();
  link_.forgetHost();
  // Remove the socket file only if it is still the one this session bound: a companion started
  // after this one may have replaced it.
  if (socketFile_ && identityOf(options_.path) == socketFile_) unlink(options_.path.c_str());
  socketFile_.reset();
}

void SocketSession::Impl::startAccept() {
  acceptor_.async_accept([this](ErrorCode error, Local::socket socket) {
    if (error == net::error::operation_aborted || !acceptor_.is_open()) return;
    if (!error) {
      admit(std::move(socket));
      startAccept();
      return;
    }
    // Out of descriptors or memory: try again a little later rather than spin.
    acceptRetry_.expires_after(std::chrono::milliseconds(100));
    acceptRetry_.async_wait([this](ErrorCode waitError) {
      if (!waitError && acceptor_.is_open()) startAccept();
    });
  });
}

void SocketSession::Impl::admit(Local::socket socket) {
  auto connection = std::make_shared<Connection>(std::move(socket), options_.maxLineBytes);
  // A peer of another user is turned away before it can count as the host that holds the link.
  std::string refusal;
  if (const std::string problem = checkPeerIsSameUser(connection->socket.native_handle());
      !problem.empty()) {
    refusal = LinkFrame::errorLine(problem);
  } else {
    refusal = link_.socketHostArrived();
  }
  if (!refusal.empty()) {
    queueLine(connection, std::move(refusal));
    connection->closeWhenWritten = true;
    return;
  }
  host_ = connection;
  startRead(connection);
}

void SocketSession::Impl::startRead(const ConnectionPtr& connection) {
  if (connection->closed || connection->reading || connection->closeWhenWritten) return;
  // Resumed by writeNext once the host has read enough of its answers.
  if (connection->outgoing.full()) return;
  connection->reading = true;
  connection->socket.async_read_some(
      net::buffer(connection->buffer), [this, connection](ErrorCode error, std::size_t size) {
        connection->reading = false;
        if (connection->closed) return;
        if (error) {
          inputEnded(connection, error == net::error::eof);
          return;
        }
        connection->splitter.feed(
            std::string_view(connection->buffer.data(), size),
            [&](std::string_view line) {
              link_.handleLine(line,
                               [&](std::string reply) { queueLine(connection, std::move(reply)); });
            },
            [&] {
              queueLine(connection, LinkFrame::errorLine("line longer than " +
                                                         std::to_string(options_.maxLineBytes) +
                                                         " bytes: dropped"));
            });
        startRead(connection);
      });
}

void SocketSession::Impl::queueLine(const ConnectionPtr& connection, std::string line) {
  if (connection->closed) return;
  connection->outgoing.push(std::move(line));
  if (!connection->writing) writeNext(connection);
}

void SocketSession::Impl::writeNext(const ConnectionPtr& connection) {
  if (connection->closed) return;
  if (connection->outgoing.empty()) {
    if (connection->closeWhenWritten) {
      close(connection);
    } else {
      startRead(connection);
    }
    return;
  }
  connection->writing = true;
  net::async_write(connection->socket, net::buffer(connection->outgoing.front()),
                   [this, connection](ErrorCode error, std::size_t) {
                     connection->writing = false;
                     if (connection->closed) return;
                     if (error) {
                       // The peer is gone; reading finds that out and ends the connection.
                       // With nothing left to write, writeNext closes or goes on reading.
                       connection->outgoing.clear();
                       writeNext(connection);
                       return;
                     }
                     connection->outgoing.pop();
                     // Reading may have paused for this host to catch up with its answers.
                     startRead(connection);
                     writeNext(connection);
                   });
}

void SocketSession::Impl::inputEnded(const ConnectionPtr& connection, bool cleanly) {
  // Whatever the host had not finished is not a frame.
  connection->splitter.reset();
  // A host that only closed its sending side may still be reading the answers to its last lines
  // (dunvel-host push does): those go out before the socket closes.
  if (cleanly && !connection->outgoing.empty()) {
    connection->closeWhenWritten = true;
  } else {
    close(connection);
  }
  if (connection == host_) {
    host_.reset();
    link_.socketHostLeft();
  }
}

void SocketSession::Impl::close(const ConnectionPtr& connection) {
  if (connection->closed) return;
  connection->closed = true;
  ErrorCode ignored;
  connection->socket.shutdown(Local::socket::shutdown_both, ignored);
  connection->socket.close(ignored);
  connection->outgoing.clear();
}

SocketSession::SocketSession(Options options)
    : impl_(std::make_unique<Impl>(*this, std::move(options))) {}

SocketSession::~SocketSession() = default;

std::string SocketSession::listen() {
  return impl_->listen();
}
void SocketSession::stop() {
  impl_->stop();
}
const std::filesystem::path& SocketSession::path() const {
  return impl_->path();
}
void SocketSession::setDelegate(SessionDelegate* delegate) {
  impl_->setDelegate(delegate);
}
void SocketSession::activateSession() {
  impl_->activate();
}
ContextDictionary SocketSession::receivedApplicationContext() const {
  return impl_->receivedApplicationContext();
}
bool SocketSession::isReachable() const {
  return impl_->isReachable();
}
void SocketSession::sendMessage(const ContextDictionary& message) {
  impl_->sendMessage(message);
}
net::io_context& SocketSession::ioContext() {
  return impl_->ioContext();
}
bool SocketSession::runOnIoThread(const std::function<void()>& block) {
  return impl_->runOnIoThread(block);
}
void SocketSession::attachEndpoint(RemoteHostEndpoint* endpoint) {
  impl_->attachEndpoint(endpoint);
}
void SocketSession::remoteHostArrived(RemoteHostId host) {
  impl_->remoteHostArrived(host);
}
void SocketSession::remoteLine(RemoteHostId host, std::string line) {
  impl_->remoteLine(host, std::move(line));
}
void SocketSession::remoteHostLeft(RemoteHostId host) {
  impl_->remoteHostLeft(host);
}

}  // namespace dunvel
