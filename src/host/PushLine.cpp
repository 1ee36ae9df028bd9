#include "host/PushLine.h"

#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <cstdio>
#include <optional>

#include "platform/link/PeerCredentials.h"
#include "wire/LineSplitter.h"
#include "wire/LinkFrame.h"

namespace dunvel {

namespace net = boost::asio;
using ErrorCode = boost::system::error_code;

namespace {

using Local = net::local::stream_protocol;

std::string seconds(std::chrono::milliseconds duration) {
  const double value = static_cast<double>(duration.count()) / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%g s", value);
  return text;
}

// One push over the socket, run on the calling thread: connect, write the line, close the
// sending side, and read the companion's answers until it closes in turn.
class SocketPush {
 public:
  SocketPush(std::string name, Local::endpoint endpoint, std::string_view line)
      : name_(std::move(name)), endpoint_(std::move(endpoint)), framed_(line) {
    if (framed_.empty() || framed_.back() != '\n') framed_.push_back('\n');
  }

  std::string run(std::chrono::milliseconds answerWithin) {
    connect();
    io_.run_for(answerWithin);
    if (failed_) return *failed_;
    if (refused_) return "the companion refused it: " + *refused_;
    if (!connected_) {
      return "the companion on " + name_ + " took no connection within " + seconds(answerWithin) +
             " (--timeout)";
    }
    if (!answered_) {
      return "no answer from the companion on " + name_ + " within " + seconds(answerWithin) +
             " (--timeout)";
    }
    return {};
  }

 private:
  // Connecting never blocks and is given the same time as the answer: a blocking connect to a
  // socket whose queue of connections is full (a stopped companion, or an owner that never
  // accepts) waits for ever. Such a socket turns a connection away at once; it is tried again
  // until the time is up.
  void connect() {
    socket_.async_connect(endpoint_, [this](ErrorCode error) {
      if (error == net::error::would_block || error == net::error::try_again ||
          error == net::error::no_buffer_space) {
        ErrorCode ignored;
        socket_.close(ignored);
        retry_.expires_after(std::chrono::milliseconds(50));
        retry_.async_wait([this](ErrorCode waitError) {
          if (!waitError) connect();
        });
        return;
      }
      if (error) {
        failed_ = "no companion is listening on " + name_ + " (" + error.message() + ")";
        return;
      }
      connected_ = true;
      send();
    });
  }

  void send() {
    if (std::string refusal = checkPeerIsSameUser(socket_.native_handle()); !refusal.empty()) {
      failed_ = refusal;
      return;
    }
    net::async_write(socket_, net::buffer(framed_), [this](ErrorCode writeError, std::size_t) {
      // A companion that refused this connection may close before the line is written; its
      // error line says why, so reading goes on either way.
      if (!writeError) socket_.shutdown(Local::socket::shutdown_send, writeError);
      readMore();
    });
  }

  void readMore() {
    socket_.async_read_some(net::buffer(buffer_), [this](ErrorCode readError, std::size_t size) {
      if (readError) {
        // End of input: the companion has dealt with everything sent and closed its side.
        answered_ = readError == net::error::eof || readError == net::error::connection_reset;
        return;
      }
      splitter_.feed(
          std::string_view(buffer_.data(), size), [this](std::string_view answer) { read(answer); },
          [] {});
      readMore();
    });
  }

  void read(std::string_view answer) {
    const std::optional<LinkFrame> frame = LinkFrame::parse(answer).frame;
    if (frame && frame->type == LinkFrame::Type::error && !refused_) {
      refused_ = frame->message;
    }
  }

  const std::string name_;
  const Local::endpoint endpoint_;
  std::string framed_;
  net::io_context io_;
  Local::socket socket_{io_};
  net::steady_timer retry_{io_};
  LineSplitter splitter_;
  std::array<char, 4096> buffer_{};
  std::optional<std::string> refused_;
  std::optional<std::string> failed_;
  bool connected_ = false;
  bool answered_ = false;
};

}  // namespace

std::string pushLine(const std::filesystem::path& path, std::string_view line,
                     std::chrono::milliseconds answerWithin) {
  const std::string name = path.string();
  Local::endpoint endpoint;
  try {
    endpoint = Local::endpoint(name);
  } catch (const boost::system::system_error& error) {
    return "cannot use " + name + ": " + error.code().message();
  }
  return SocketPush(name, endpoint, line).run(answerWithin);
}

}  // namespace dunvel
