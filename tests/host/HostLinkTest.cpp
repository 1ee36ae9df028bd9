#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

#include "host/DemoHost.h"
#include "host/HostCommandLine.h"
#include "host/HostConnection.h"
#include "host/PushLine.h"
#include "platform/link/LinkTestSupport.h"
#include "platform/link/SocketSession.h"
#include "platform/link/TestCompanion.h"
#include "platform/link/WebSocketListener.h"
#include "state/ContextDecoding.h"
#include "state/GameState.h"
#include "wire/LinkFrame.h"

namespace dunvel {
namespace {

using testing::kDeadline;
using testing::TempFolder;

// A companion at path whose activation has already arrived, and what it has been shown.
struct Companion : testing::TestCompanion {
  explicit Companion(const std::filesystem::path& path) : TestCompanion(path) {
    delegate.waitForEvents(1);
  }

  // The screens of the contexts received so far.
  std::vector<std::string> screens() const {
    std::vector<std::string> result;
    for (const auto& event : delegate.events()) {
      if (event.kind == "context") result.push_back(decodeGameState(event.dictionary).screen);
    }
    return result;
  }

  // Waits until a context arrives whose screen is the one given, looking only at contexts after
  // the one the previous call found.
  bool waitForScreen(const std::string& screen) {
    while (true) {
      const auto events = delegate.waitForEvents(cursor + 1);
      if (events.size() <= cursor) return false;
      while (cursor < events.size()) {
        const auto& event = events[cursor++];
        if (event.kind == "context" && decodeGameState(event.dictionary).screen == screen) {
          return true;
        }
      }
    }
  }

  std::size_t cursor = 0;
};

// Collects what a HostConnection's handlers see, for the test thread to wait on.
struct HostLog {
  void add(std::string entry) {
    std::lock_guard lock(mutex);
    entries.push_back(std::move(entry));
    changed.notify_all();
  }
  bool waitFor(const std::string& entry) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kDeadline, [&] {
      return std::find(entries.begin(), entries.end(), entry) != entries.end();
    });
  }
  std::size_t count(const std::string& entry) {
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(std::count(entries.begin(), entries.end(), entry));
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> entries;
};

HostConnection::Handlers loggingHandlers(HostLog& log) {
  return {[&log] { log.add("connected"); },
          [&log](const ContextDictionary& command) {
            const std::string* action = command.at("action").get_if<std::string>();
            log.add("command " + (action != nullptr ? *action : std::string("?")));
          },
          [&log](HostProblem, const std::string& problem) { log.add("problem " + problem); },
          [&log](HostDisconnect how, const std::string&) {
            log.add(how == HostDisconnect::attemptFailed     ? "disconnected: attempt failed"
                    : how == HostDisconnect::companionClosed ? "disconnected: companion closed"
                                                             : "disconnected: link broke");
          }};
}

// A Companion that hosts may reach over a WebSocket on loopback as well.
struct WebSocketCompanion : Companion {
  explicit WebSocketCompanion(const std::filesystem::path& path)
      : Companion(path), listener(options(), session) {
    listenProblem += listener.listen();
  }
  ~WebSocketCompanion() { listener.stop(); }

  static WebSocketListener::Options options() {
    WebSocketListener::Options options;
    options.address.host = "127.0.0.1";
    options.token = "the-test-token-0123456789";
    return options;
  }

  WebSocketListener listener;
};

// A TCP port on loopback that takes connections into its queue and never answers them.
struct SilentPort {
  SilentPort() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                    ::listen(fd, 4) == 0 &&
                    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    port = ok ? ntohs(address.sin_port) : 0;
  }
  ~SilentPort() { close(fd); }

  int fd = socket(AF_INET, SOCK_STREAM, 0);
  int port = 0;
};

TEST(HostLink, PushDeliversOneSnapshotAndReportsEveryWayItCanFail) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";

  const std::string tooLong = pushLine(folder.path() / std::string(200, 'x'), "{}");
  EXPECT_NE(tooLong.find("cannot use"), std::string::npos) << tooLong;

  const std::string noCompanion = pushLine(path, LinkFrame::contextLine({{"screen", "board"}}));
  EXPECT_NE(noCompanion.find("no companion is listening on " + path.string()), std::string::npos)
      << noCompanion;

  Companion companion(path);
  ASSERT_EQ(companion.listenProblem, "");
  EXPECT_EQ(pushLine(path, LinkFrame::contextLine({{"screen", "board"}})), "");
  // The push is done only once the companion has taken the line.
  EXPECT_EQ(companion.screens(), std::vector<std::string>{"board"});
  EXPECT_EQ(companion.session.receivedApplicationContext(),
            (ContextDictionary{{"screen", "board"}}));

  const std::string refused = pushLine(path, R"({"type":"context","payload":{"teams":[null]}})");
  EXPECT_NE(refused.find("the companion refused it"), std::string::npos) << refused;
  EXPECT_NE(refused.find("/payload/teams/0"), std::string::npos) << refused;

  // While a host holds the link, a push is turned away and says why.
  HostLog log;
  HostConnection holder(path, Reconnect::never, loggingHandlers(log));
  holder.start();
  ASSERT_TRUE(log.waitFor("connected"));
  // Connections are admitted in the order they were made, so the holder is the host by now.
  const std::string busy = pushLine(path, LinkFrame::contextLine({{"screen", "idle"}}));
  EXPECT_NE(busy.find("another host is already connected"), std::string::npos) << busy;
  EXPECT_EQ(companion.screens(), std::vector<std::string>{"board"});
}

// Over a WebSocket, a push reports what it reports over the socket, in the same words, and the
// link's token never shows in them.
TEST(HostLink, PushOverAWebSocketReportsTheRefusalAndTheTimeoutWithoutTheToken) {
  TempFolder folder;
  WebSocketCompanion companion(folder.path() / "link.sock");
  ASSERT_EQ(companion.listenProblem, "");
  const std::string url = companion.listener.url();
  EXPECT_EQ(pushLine(url, LinkFrame::contextLine({{"screen", "board"}})), "");
  EXPECT_EQ(companion.screens(), std::vector<std::string>{"board"});
  const std::string refused = pushLine(url, R"({"type":"context","payload":{"teams":[null]}})");
  EXPECT_TRUE(refused.starts_with("the companion refused it: ")) << refused;
  EXPECT_NE(refused.find("/payload/teams/0"), std::string::npos) << refused;

  SilentPort silent;
  ASSERT_NE(silent.port, 0);
  const std::string shown = "ws://127.0.0.1:" + std::to_string(silent.port) + "/link";
  EXPECT_EQ(pushLine(shown + "?token=secret", "{}", std::chrono::milliseconds(300)),
            "the companion on " + shown + " took no connection within 0.3 s (--timeout)");
}

// A host that finishes sending is closed by the companion in turn, after everything it sent was
// taken, and says so; it is not made again, even by a connection that would reconnect.
TEST(HostLink, AConnectionThatFinishesSendingEndsCleanlyOverBothLinks) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  HostLog absent;
  HostConnection nobody(path, Reconnect::never, loggingHandlers(absent));
  nobody.start();
  EXPECT_TRUE(absent.waitFor("disconnected: attempt failed"));

  WebSocketCompanion companion(path);
  ASSERT_EQ(companion.listenProblem, "");
  for (const std::string& link : {path.string(), companion.listener.url()}) {
    HostLog log;
    HostConnection host(link, Reconnect::automatically, loggingHandlers(log));
    host.start();
    ASSERT_TRUE(log.waitFor("connected")) << link;
    host.send(LinkFrame::contextLine({{"screen", "question"}}));
    host.send(LinkFrame::contextLine({{"screen", "answer"}}));
    host.finishSending();
    host.send(LinkFrame::contextLine({{"screen", "idle"}}));
    ASSERT_TRUE(log.waitFor("disconnected: companion closed")) << link;
    EXPECT_TRUE(companion.waitForScreen("question")) << link;
    EXPECT_TRUE(companion.waitForScreen("answer")) << link;
    // Longer than the first retry of a connection that reconnects.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(log.count("connected"), 1u) << link;
    EXPECT_EQ(log.count("disconnected: companion closed"), 1u) << link;
  }
  EXPECT_EQ(companion.screens(),
            (std::vector<std::string>{"question", "answer", "question", "answer"}));
}

TEST(HostLink, AListeningHostReceivesTheCompanionsCommandsInOrder) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  Companion companion(path);
  ASSERT_EQ(companion.listenProblem, "");

  HostLog log;
  HostConnection host(path, Reconnect::never, loggingHandlers(log));
  host.start();
  ASSERT_TRUE(log.waitFor("connected"));
  // The session knows the host once its connection callback arrived.
  companion.delegate.waitForEvents(2);
  EXPECT_TRUE(host.isConnected());

  companion.session.sendMessage({{"action", "reveal"}});
  companion.session.sendMessage({{"action", "award"}, {"teamId", "t2"}});
  companion.session.sendMessage({{"action", "noAnswer"}});
  ASSERT_TRUE(log.waitFor("command noAnswer"));
  std::lock_guard lock(log.mutex);
  EXPECT_EQ(log.entries, (std::vector<std::string>{"connected", "command reveal", "command award",
                                                   "command noAnswer"}));
}

TEST(HostLink, TheDemoHostPlaysAgainstTheCompanionAndFindsItAgainAfterARestart) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  auto companion = std::make_unique<Companion>(path);
  ASSERT_EQ(companion->listenProblem, "");

  // A clock the test moves by hand, read on the demo's thread.
  std::atomic<double> now{1765136700.0};
  DemoHost demo(DemoHost::Options{path, Autoplay::off, [&now] { return now.load(); }, {}});
  demo.start();

  // It sends its snapshot as soon as it connects, then follows the commands.
  ASSERT_TRUE(companion->waitForScreen("question"));
  companion->session.sendMessage({{"action", "reveal"}});
  ASSERT_TRUE(companion->waitForScreen("answer"));
  companion->session.sendMessage({{"action", "award"}, {"teamId", "t1"}});
  ASSERT_TRUE(companion->waitForScreen("board"));
  const GameState board = decodeGameState(companion->session.receivedApplicationContext());
  ASSERT_FALSE(board.teams.empty());
  EXPECT_EQ(board.teams[0].id(), "t1");
  EXPECT_GT(board.teams[0].points(), 0);

  // The companion restarts; the host comes back by itself with the night where it was.
  companion.reset();
  companion = std::make_unique<Companion>(path);
  ASSERT_EQ(companion->listenProblem, "");
  ASSERT_TRUE(companion->waitForScreen("board"));
  EXPECT_EQ(decodeGameState(companion->session.receivedApplicationContext()), board);

  // Time moves the night on.
  now = now.load() + QuizNight::kBoardSeconds + 1;
  ASSERT_TRUE(companion->waitForScreen("question"));
  demo.stop();
}

TEST(HostLink, TheCommandLineExplainsItselfAndRejectsBadInput) {
  TempFolder folder;
  const std::string link = (folder.path() / "link.sock").string();
  auto run = [](std::vector<const char*> arguments, std::string& out, std::string& err,
                const std::string& input = "") {
    arguments.insert(arguments.begin(), "dunvel-host");
    std::istringstream in(input);
    std::ostringstream outStream;
    std::ostringstream errStream;
    const int status =
        hostMain(static_cast<int>(arguments.size()), arguments.data(), in, outStream, errStream);
    out = outStream.str();
    err = errStream.str();
    return status;
  };
  std::string out;
  std::string err;

  EXPECT_EQ(run({"--help"}, out, err), 0);
  EXPECT_NE(out.find("push"), std::string::npos);
  EXPECT_NE(out.find("listen"), std::string::npos);
  EXPECT_NE(out.find("demo"), std::string::npos);
  EXPECT_EQ(run({}, out, err), 2);
  EXPECT_EQ(run({"push"}, out, err), 2);
  EXPECT_EQ(err, "dunvel-host: FILE is required (see --help)\n");
  EXPECT_EQ(run({"push", "x.json", "--loud"}, out, err), 2);
  EXPECT_EQ(run({"fly"}, out, err), 2);

  const std::string missing = (folder.path() / "missing.json").string();
  EXPECT_EQ(run({"push", missing.c_str(), "--link", link.c_str()}, out, err), 1);
  EXPECT_NE(err.find("cannot read " + missing), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line: " << err;

  const std::string folderName = folder.path().string();
  EXPECT_EQ(run({"push", folderName.c_str(), "--link", link.c_str()}, out, err), 1);
  EXPECT_NE(err.find("it is a folder"), std::string::npos) << err;

  EXPECT_EQ(run({"push", "-", "--link", link.c_str()}, out, err, "{\"screen\":\n  [1,}"), 1);
  EXPECT_NE(err.find("standard input: line 2, column"), std::string::npos) << err;
  EXPECT_EQ(run({"push", "-", "--link", link.c_str()}, out, err, R"({"screen":null})"), 1);
  EXPECT_NE(err.find("/screen"), std::string::npos) << err;

  EXPECT_EQ(run({"push", "-", "--link", link.c_str()}, out, err, R"({"screen":"board"})"), 1);
  EXPECT_NE(err.find("no companion is listening"), std::string::npos) << err;
  EXPECT_EQ(run({"listen", "--link", link.c_str()}, out, err), 1);
  EXPECT_NE(err.find("no companion is listening"), std::string::npos) << err;
  const std::string longLink = link + std::string(120, 'x');
  EXPECT_EQ(run({"demo", "--link", longLink.c_str()}, out, err), 1);
  EXPECT_NE(err.find("too long"), std::string::npos) << err;

  Companion companion(folder.path() / "link.sock");
  ASSERT_EQ(companion.listenProblem, "");
  EXPECT_EQ(run({"push", "-", "--message", "--link", link.c_str()}, out, err,
                R"({"screen":"tournament"})"),
            0)
      << err;
  // A socket path shows whole, even with the '?' before which a WebSocket URL's token is cut.
  const std::string oddLink = (folder.path() / "night?2.sock").string();
  Companion odd(oddLink);
  ASSERT_EQ(odd.listenProblem, "");
  EXPECT_EQ(run({"push", "-", "--link", oddLink.c_str()}, out, err, R"({"screen":"board"})"), 0)
      << err;
  EXPECT_EQ(out, "dunvel-host: sent standard input as the context to " + oddLink + "\n");
  // --opened-now starts the question clock at the moment of the push.
  const double before = static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(
                                                std::chrono::system_clock::now().time_since_epoch())
                                                .count());
  EXPECT_EQ(run({"push", "-", "--message", "--opened-now", "--link", link.c_str()}, out, err,
                R"({"screen":"question","questionOpenedAt":1.0})"),
            0)
      << err;
  const auto events = companion.delegate.events();
  ASSERT_FALSE(events.empty());
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [before](const auto& event) {
    const GameState state = decodeGameState(event.dictionary);
    return state.screen == "question" && state.questionOpenedAt >= before;
  }));

  // A listener turned away because another host holds the link stops and says why.
  HostLog log;
  HostConnection holder(folder.path() / "link.sock", Reconnect::never, loggingHandlers(log));
  holder.start();
  ASSERT_TRUE(log.waitFor("connected"));
  EXPECT_EQ(run({"listen", "--link", link.c_str()}, out, err), 1);
  EXPECT_NE(err.find("another host is already connected"), std::string::npos) << err;
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const auto& event) {
    return event.kind == "message" && decodeGameState(event.dictionary).screen == "tournament";
  }));
}

}  // namespace
}  // namespace dunvel
