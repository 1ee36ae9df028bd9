#include "host/PushLine.h"

#include <asio.hpp>
#include <optional>

#include "platform/link/LineSplitter.h"
#include "platform/link/LinkFrame.h"
#include "platform/link/PeerCredentials.h"

namespace dunvel {

namespace {
using Local = asio::local::stream_protocol;
}  // namespace

std::string pushLine(const std::filesystem::path& path, std::string_view line,
                     std::chrono::milliseconds answerWithin) {
  const std::string name = path.string();
  asio::io_context io;
  Local::endpoint endpoint;
  try {
    endpoint = Local::endpoint(name);
  } catch (const std::system_error& error) {
    return "cannot use " + name + ": " + error.code().message();
  }
  Local::socket socket(io);
  std::error_code error;
  socket.connect(endpoint, error);
  if (error) return "no companion is listening on " + name + " (" + error.message() + ")";
  if (std::string refusal = checkPeerIsSameUser(socket.native_handle()); !refusal.empty()) {
    return refusal;
  }

  std::optional<std::string> refused;
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
    socket.async_read_some(asio::buffer(buffer), [&](std::error_code readError, std::size_t size) {
      if (readError) {
        // End of input: the companion has dealt with everything sent and closed its side.
        answered = readError == asio::error::eof || readError == asio::error::connection_reset;
        return;
      }
      splitter.feed(std::string_view(buffer.data(), size), onLine, [] {});
      readMore();
    });
  };

  std::string framed(line);
  if (framed.empty() || framed.back() != '\n') framed.push_back('\n');
  asio::async_write(socket, asio::buffer(framed), [&](std::error_code writeError, std::size_t) {
    // A companion that refused this connection may close before the line is written; its
    // error line says why, so reading goes on either way.
    if (!writeError) socket.shutdown(Local::socket::shutdown_send, writeError);
    readMore();
  });
  io.run_for(answerWithin);

  if (refused) return "the companion refused it: " + *refused;
  if (!answered) {
    return "no answer from the companion on " + name + " within " +
           std::to_string(answerWithin.count()) + " ms";
  }
  return {};
}

}  // namespace dunvel
