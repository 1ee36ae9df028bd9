// End to end on the companion's own code: a host push written to the socket → the socket session
// reads and decodes it → the main queue assigns it to the store → the view graph shows the new
// screen (the headless log line is written on the main thread), or, with the face painted, the
// first frame painted after that screen. Against the floor of the same
// bytes sent to an echo thread and read back over a bare Unix socket: the least any link of this
// kind costs. One push at a time, so each figure is a latency, not a throughput.
//
//   dunvel-bench-link [--painted | --websocket] [--pushes N] [--out FILE]
//
// --painted measures to the frame instead of to the screen. --websocket pushes over the
// companion's WebSocket endpoint on loopback instead of the socket, against the floor of a bare
// WebSocket echo over loopback TCP made with the same library (Boost.Beast). One measurement a
// process: the companion's store is one for the process, as on the watch.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/AppRunner.h"
#include "app/DunvelWatchApp.h"
#include "app/ScreenPreview.h"
#include "link/SessionPlatform.h"
#include "wire/LinkFrame.h"
#include "platform/link/SocketSession.h"
#include "platform/link/WebSocketListener.h"
#include "platform/runloop/MainRunLoop.h"
#include "platform/runloop/SystemClock.h"
#include "render/FaceRenderer.h"
#include "state/ContextDecoding.h"
#include "support/Figures.h"
#include "support/LinkClient.h"
#include "support/TempFolder.h"
#include "watch/FaceAppRunner.h"
#include "watch/RunApp.h"

namespace {

using namespace dunvel;
using namespace dunvel::bench;
using Clock = std::chrono::steady_clock;
namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using tcp = net::ip::tcp;

constexpr std::int64_t kWarmUp = 500;
constexpr const char* kMarker = "push-";

std::string pushLine(std::int64_t n) {
  return LinkFrame::contextLine(ContextDictionary{{"screen", "question"},
                                                  {"questionPoints", 20},
                                                  {"questionMode", kMarker + std::to_string(n)},
                                                  {"questionOpenedAt", 1'765'136'700.0}});
}

// The companion's log, as the main thread writes it: notes when the screen of each push shows,
// or, when its frames are painted, when the first frame after its screen showed is painted.
class ShownScreens : public std::stringbuf {
 public:
  explicit ShownScreens(bool painted) : painted_(painted) {}

  // A frame was painted (main thread): it shows the last screen logged.
  void framePainted() {
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    if (paintedUpTo_ >= loggedUpTo_) return;
    paintedUpTo_ = loggedUpTo_;
    lastShown_ = paintedUpTo_;
    shownAt_ = now;
    shown_.notify_all();
  }

  // Waits until push n has shown; its time, or nothing after five seconds.
  std::optional<Clock::time_point> waitFor(std::int64_t n) {
    std::unique_lock lock(mutex_);
    if (!shown_.wait_for(lock, std::chrono::seconds(5), [&] { return lastShown_ >= n; })) {
      return std::nullopt;
    }
    return shownAt_;
  }

 protected:
  // The log flushes after every line.
  int sync() override {
    const auto now = Clock::now();
    const std::string text = str();
    str("");
    const std::size_t at = text.rfind(kMarker);
    if (at == std::string::npos) return 0;
    const std::int64_t n = std::stoll(text.substr(at + std::string(kMarker).size()));
    std::lock_guard lock(mutex_);
    loggedUpTo_ = n;
    if (painted_) return 0;
    lastShown_ = n;
    shownAt_ = now;
    shown_.notify_all();
    return 0;
  }

 private:
  const bool painted_;
  std::mutex mutex_;
  std::condition_variable shown_;
  std::int64_t loggedUpTo_ = -1;
  std::int64_t paintedUpTo_ = -1;
  std::int64_t lastShown_ = -1;
  Clock::time_point shownAt_;
};

struct Percentiles {
  double p50 = 0;
  double p99 = 0;
};

Percentiles percentiles(std::vector<double> microseconds) {
  std::sort(microseconds.begin(), microseconds.end());
  const auto at = [&](double fraction) {
    const auto index =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(microseconds.size())));
    return microseconds[std::clamp<std::size_t>(index, 1, microseconds.size()) - 1];
  };
  return Percentiles{at(0.50), at(0.99)};
}

double microsecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::micro>(to - from).count();
}

// A host's end of the WebSocket link as this program drives it: blocking Beast calls on the
// calling thread, each push one message.
class WebSocketClient {
 public:
  bool connect(std::uint16_t port, const std::string& target) {
    boost::system::error_code error;
    ws_.next_layer().connect(tcp::endpoint(net::ip::make_address_v4("127.0.0.1"), port), error);
    if (!error) ws_.next_layer().set_option(tcp::no_delay(true), error);
    if (!error) ws_.handshake("127.0.0.1:" + std::to_string(port), target, error);
    ws_.text(true);
    return !error;
  }
  bool write(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    boost::system::error_code error;
    ws_.write(net::buffer(line.data(), line.size()), error);
    return !error;
  }
  bool read(boost::beast::flat_buffer& buffer) {
    boost::system::error_code error;
    buffer.clear();
    ws_.read(buffer, error);
    return !error;
  }

 private:
  net::io_context io_;
  websocket::stream<tcp::socket> ws_{io_};
};

// Pushes to a companion running in this process, as dunvel-watch runs it: headless, or painting
// each new screen on a face nobody shows (the renderer of the window and of --frames); over the
// socket or over the WebSocket endpoint.
std::optional<std::vector<double>> endToEnd(std::int64_t pushes, const std::filesystem::path& link,
                                            bool painted, bool overWebSocket) {
  MainRunLoop loop;
  ShownScreens shown(painted);
  std::ostream log(&shown);
  SocketSession::Options options;
  options.path = link;
  options.folderPolicy = LinkFolderPolicy::chosenFolder;
  options.waitUntilPendingAtMost = [&loop](std::size_t n) { loop.waitUntilPendingAtMost(n); };
  SocketSession session(std::move(options));
  if (std::string problem = session.listen(); !problem.empty()) {
    std::cerr << "dunvel-bench-link: " << problem << '\n';
    return std::nullopt;
  }
  installSessionPlatform(SessionPlatform{
      [] { return true; }, [&session]() -> Session& { return session; }, &loop, {}});
  std::optional<WebSocketListener> endpoint;
  if (overWebSocket) {
    WebSocketListener::Options endpointOptions;
    endpointOptions.address.host = "127.0.0.1";
    endpointOptions.token = makeLinkToken();
    endpoint.emplace(std::move(endpointOptions), session);
    if (std::string problem = endpoint->listen(); !problem.empty()) {
      std::cerr << "dunvel-bench-link: " << problem << '\n';
      return std::nullopt;
    }
  }

  std::vector<double> latencies;
  bool ok = true;
  std::thread host([&] {
    LinkClient socketClient;
    WebSocketClient webSocketClient;
    if (endpoint) {
      const std::string url = endpoint->url();
      ok = webSocketClient.connect(endpoint->port(), url.substr(url.find("/link")));
    } else {
      ok = socketClient.connect(link);
    }
    const auto write = [&](std::string_view line) {
      return endpoint ? webSocketClient.write(line) : socketClient.write(line);
    };
    for (std::int64_t n = 0; ok && n < kWarmUp + pushes; ++n) {
      const std::string line = pushLine(n);
      const auto sent = Clock::now();
      ok = write(line);
      const std::optional<Clock::time_point> shownAt = shown.waitFor(n);
      ok = ok && shownAt.has_value();
      if (ok && n >= kWarmUp) latencies.push_back(microsecondsBetween(sent, *shownAt));
    }
    loop.stop();
  });
  if (painted) {
    FaceAppRunner::Options face;
    face.display = FaceDisplay::none;
    face.onFrame = [&shown](const FaceRenderer&) { shown.framePainted(); };
    SystemClock clock;
    FaceAppRunner runner(loop, clock, log, std::cerr, face);
    appMain<DunvelWatchApp>(runner);
  } else {
    WatchOptions headless;
    headless.headless = true;
    runApp(loop, headless, log, std::cerr);
  }
  host.join();
  if (endpoint) endpoint->stop();
  session.stop();
  if (!ok) {
    std::cerr << "dunvel-bench-link: a push did not show within five seconds\n";
    return std::nullopt;
  }
  return latencies;
}

// The same bytes to an echo thread and back over a bare Unix stream socket.
std::vector<double> rawRoundTrips(std::int64_t pushes) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return {};
  std::thread echo([fd = ends[1]] {
    std::vector<char> buffer(1 << 16);
    for (;;) {
      const ssize_t got = read(fd, buffer.data(), buffer.size());
      if (got <= 0) break;
      for (ssize_t sent = 0; sent < got;) {
        const ssize_t wrote = write(fd, buffer.data() + sent, static_cast<std::size_t>(got - sent));
        if (wrote <= 0) return;
        sent += wrote;
      }
    }
  });
  std::vector<double> trips;
  std::vector<char> buffer(1 << 16);
  for (std::int64_t n = 0; n < kWarmUp + pushes; ++n) {
    const std::string line = pushLine(n);
    const auto sent = Clock::now();
    if (write(ends[0], line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
    std::size_t received = 0;
    while (received < line.size()) {
      const ssize_t got = read(ends[0], buffer.data(), buffer.size());
      if (got <= 0) break;
      received += static_cast<std::size_t>(got);
    }
    if (n >= kWarmUp) trips.push_back(microsecondsBetween(sent, Clock::now()));
  }
  shutdown(ends[0], SHUT_RDWR);
  echo.join();
  close(ends[0]);
  close(ends[1]);
  return trips;
}

// The same bytes to an echo thread and back over a bare WebSocket on loopback TCP, both ends
// Boost.Beast as the companion's endpoint is.
std::vector<double> webSocketRoundTrips(std::int64_t pushes) {
  net::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(net::ip::make_address_v4("127.0.0.1"), 0));
  const std::uint16_t port = acceptor.local_endpoint().port();
  std::thread echo([&] {
    boost::system::error_code error;
    tcp::socket socket(io);
    acceptor.accept(socket, error);
    if (error) return;
    socket.set_option(tcp::no_delay(true), error);
    websocket::stream<tcp::socket> ws(std::move(socket));
    ws.accept(error);
    boost::beast::flat_buffer buffer;
    while (!error) {
      buffer.clear();
      ws.read(buffer, error);
      if (error) break;
      ws.text(ws.got_text());
      ws.write(buffer.data(), error);
    }
  });
  std::vector<double> trips;
  {
    WebSocketClient client;
    boost::beast::flat_buffer buffer;
    bool ok = client.connect(port, "/");
    for (std::int64_t n = 0; ok && n < kWarmUp + pushes; ++n) {
      const std::string line = pushLine(n);
      const auto sent = Clock::now();
      ok = client.write(line) && client.read(buffer);
      if (ok && n >= kWarmUp) trips.push_back(microsecondsBetween(sent, Clock::now()));
    }
  }
  echo.join();
  return trips;
}

// One full frame of a new question snapshot (layout and paint, its mode text shaped anew, as a
// push brings it), the median of many.
double questionFrameMicroseconds() {
  FaceRenderer renderer(FaceSize::mm45, 2.0);
  std::vector<double> times;
  for (std::int64_t n = 0; n < 1001; ++n) {
    const ScreenPreview preview(
        decodeGameState(ContextDictionary{{"screen", "question"},
                                          {"questionPoints", 20},
                                          {"questionMode", kMarker + std::to_string(n)},
                                          {"questionOpenedAt", 1'765'136'700.0}}),
        HostReach::reachable, Date{1'765'136'742.0});
    const auto start = Clock::now();
    renderer.layout(preview.tree());
    renderer.paint();
    if (n > 0) times.push_back(microsecondsBetween(start, Clock::now()));
  }
  return percentiles(times).p50;
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t pushes = 10'000;
  std::string out = "link.json";
  bool painted = false;
  bool overWebSocket = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--painted") {
      painted = true;
    } else if (option == "--websocket") {
      overWebSocket = true;
    } else if (option == "--pushes" && i + 1 < argc) {
      pushes = std::max<std::int64_t>(1, std::stoll(argv[++i]));
    } else if (option == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else {
      std::cerr << "dunvel-bench-link: unknown option " << option << '\n';
      return 2;
    }
  }
  std::optional<std::vector<double>> pushed;
  {
    const TempFolder folder;
    pushed = endToEnd(pushes, folder.path() / "link.sock", painted, overWebSocket);
  }
  if (!pushed) return 1;
  const std::vector<double> trips =
      overWebSocket ? webSocketRoundTrips(pushes) : rawRoundTrips(pushes);
  if (trips.size() != static_cast<std::size_t>(pushes)) {
    std::cerr << "dunvel-bench-link: the raw round trip failed\n";
    return 1;
  }

  const Percentiles e2e = percentiles(*pushed);
  const Percentiles raw = percentiles(trips);
  Figures figures;
  const std::string measured = painted ? "push_to_frame" : "push_to_screen";
  figures.add(measured + "/p50_us", e2e.p50, "us");
  figures.add(measured + "/p99_us", e2e.p99, "us");
  figures.add(measured + "/pushes", static_cast<double>(pushes), "");
  figures.add("raw_round_trip/p50_us", raw.p50, "us");
  figures.add("raw_round_trip/p99_us", raw.p99, "us");
  if (painted) {
    const double frame = questionFrameMicroseconds();
    figures.add("question_frame/median_us", frame, "us");
    // What the aim allows a push to take to its frame: three raw round trips and one frame.
    figures.add("raw_round_trip_x3_plus_frame/p99_us", 3 * raw.p99 + frame, "us");
  }
  return figures.write(out) ? 0 : 1;
}
