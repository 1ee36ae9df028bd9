#include "host/PushLine.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <cstdio>
#include <functional>
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
}  // namespace

std::string pushLine(const std::filesystem::path& path, std::string_view line,
                     std::chrono::milliseconds answerWithin) {
  const std::string name = path.string();
  net::io_context io;
  Local::endpoint endpoint;
  try {
    endpoint = Local::endpoint(name);
  } catch (const boost::system::system_error& error) {
    return "cannot use " + name + ": " + error.code().message();
  }
  Local::socket socket(io);
  std::optional<std::string> refused;
  std::optional<std::string> failed;
  bool connected = false;
  bool answered = false;
  LineSplitter splitter;
  std::array<char, 4096> buffer{};
  auto onLine = [&](std::string_view answer) {
    LinkFrame frame;
    std::string problem;
    if (LinkFrame::parse(answer, frame, problem) && frame.type == LinkFrame::Type::error &&
        !refused) {
      refused = frame.message;
    }
  };
  std::function<void()> readMore = [&] {
    socket.async_read_some(net::buffer(buffer), [&](ErrorCode readError, std::size_t size) {
      if (readError) {
        // End of input: the companion has dealt with everything sent and closed its side.
        answered = readError == net::error::eof || readError == net::error::connection_reset;
        return;
      }
      splitter.feed(std::string_view(buffer.data(), size), onLine, [] {});
      readMore();
    });
  };

  std::string framed(line);
  if (framed.empty() || framed.back() != '\n') framed.push_back('\n');
  // Connecting never blocks and is given the same time as the answer: a blocking connect to a
  // socket whose queue of connections is full (a stopped companion, or an owner that never
  // accepts) waits for ever. Such a socket turns a connection away at once; it is tried again
  // until the time is up.
  net::steady_timer retry(io);
  std::function<void()> send;
  std::function<void()> connect = [&] {
    socket.async_connect(endpoint, [&](ErrorCode error) {
      if (error == net::error::would_block || error == net::error::try_again ||
          error == net::error::no_buffer_space) {
        ErrorCode ignored;
        socket.close(ignored);
        retry.expires_after(std::chrono::milliseconds(50));
        retry.async_wait([&](ErrorCode waitError) {
          if (!waitError) connect();
        });
        return;
      }
      if (error) {
        failed = "no companion is listening on " + name + " (" + error.message() + ")";
        return;
      }
      connected = true;
      send();
    });
  };
  send = [&] {
    if (std::string refusal = checkPeerIsSameUser(socket.native_handle()); !refusal.empty()) {
      failed = refusal;
      return;
    }
    net::async_write(socket, net::buffer(framed), [&](ErrorCode writeError, std::size_t) {
      // A companion that refused this connection may close before the line is written; its
      // error line says why, so reading goes on either way.
      if (!writeError) socket.shutdown(Local::socket::shutdown_send, writeError);
      readMore();
    });
  };
  connect();
  io.run_for(answerWithin);

  if (failed) return *failed;
  if (refused) return "the companion refused it: " + *refused;
  if (!connected) {
    return "the companion on " + name + " took no connection within " + seconds(answerWithin) +
           " (--timeout)";
  }
  if (!answered) {
    return "no answer from the companion on " + name + " within " + seconds(answerWithin) +
           " (--timeout)";
  }
  return {};
}

}  // namespace dunvel
