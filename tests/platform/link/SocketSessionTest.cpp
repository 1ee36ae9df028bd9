#include "platform/link/SocketSession.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/link/ChildProcess.h"
#include "platform/link/LinkTestSupport.h"
#include "platform/link/TestCompanion.h"
#include "state/SnapshotJson.h"
#include "wire/LinkFrame.h"

namespace dunvel {
namespace {

using testing::HandDrainedQueue;
using testing::RecordingDelegate;
using testing::TempFolder;
using testing::TestHostSocket;

ContextDictionary parsed(std::string_view json) {
  JsonReadResult read = readSnapshotJson(json);
  EXPECT_TRUE(read.ok()) << read.error;
  return read.dictionary;
}

// The "message" of an error line, or "" when the line is no error frame.
std::string errorOf(const std::optional<std::string>& line) {
  if (!line) return "";
  const std::optional<LinkFrame> frame = LinkFrame::parse(*line).frame;
  if (!frame || frame->type != LinkFrame::Type::error) return "";
  return frame->message;
}

SocketSession::Options optionsAt(std::filesystem::path path) {
  SocketSession::Options options;
  options.path = std::move(path);
  return options;
}

std::string nested(int depth) {
  // depth objects, the outermost being the payload itself.
  std::string json;
  for (int level = 1; level < depth; ++level) json += R"({"a":)";
  json += "{}";
  for (int level = 1; level < depth; ++level) json += "}";
  return json;
}

using Companion = testing::TestCompanion;

TEST(SocketSession, ActivatesAtOnceThenDeliversContextsAndMessagesOnItsOwnThread) {
  TempFolder folder;
  Companion companion(folder.path() / "link.sock");
  ASSERT_EQ(companion.listenProblem, "");

  auto events = companion.delegate.waitForEvents(1);
  EXPECT_EQ(events[0].kind, "activation");
  EXPECT_FALSE(events[0].error.has_value());
  EXPECT_TRUE(events[0].dictionary.empty()) << "nothing was received in this run yet";
  EXPECT_FALSE(events[0].reachableThen);
  EXPECT_NE(events[0].thread, std::this_thread::get_id());

  struct stat info {};
  ASSERT_EQ(stat((folder.path() / "link.sock").c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  TestHostSocket host(folder.path() / "link.sock");
  events = companion.delegate.waitForEvents(2);
  EXPECT_EQ(events[1].kind, "reachability");
  EXPECT_TRUE(events[1].reachableThen);
  EXPECT_TRUE(companion.session.isReachable());

  const std::string question =
      R"({"screen":"question","teams":[{"id":"t1","name":"الصقور","points":10}],)"
      R"("questionOpenedAt":1700000000.5})";
  ASSERT_TRUE(host.write(R"({"type":"context","payload":)" + question + "}\n"));
  ASSERT_TRUE(host.write(R"({"type":"message","payload":{"screen":"board"}})"
                         "\n"));
  events = companion.delegate.waitForEvents(4);
  EXPECT_EQ(events[2].kind, "context");
  EXPECT_EQ(events[2].dictionary, parsed(question));
  EXPECT_EQ(events[3].kind, "message");
  EXPECT_EQ(events[3].dictionary, parsed(R"({"screen":"board"})"));
  // Only a context is remembered as the application context.
  EXPECT_EQ(companion.session.receivedApplicationContext(), parsed(question));
  for (const auto& event : events) EXPECT_EQ(event.thread, events[0].thread);

  // A later activation (as after a restart of the store) hands over the context of this run.
  companion.session.activateSession();
  events = companion.delegate.waitForEvents(5);
  EXPECT_EQ(events[4].kind, "activation");
  EXPECT_EQ(events[4].dictionary, parsed(question));
}

TEST(SocketSession, ReachabilityFollowsConnectionAndBackgroundFrames) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  Companion companion(path);
  ASSERT_EQ(companion.listenProblem, "");
  companion.delegate.waitForEvents(1);
  EXPECT_FALSE(companion.session.isReachable());

  auto host = std::make_unique<TestHostSocket>(path);
  auto events = companion.delegate.waitForEvents(2);
  EXPECT_TRUE(events.back().reachableThen);

  ASSERT_TRUE(host->write(LinkFrame::reachabilityLine(false)));
  events = companion.delegate.waitForEvents(3);
  EXPECT_EQ(events[2].kind, "reachability");
  EXPECT_FALSE(events[2].reachableThen) << "a host in the background cannot take messages";
  EXPECT_FALSE(companion.session.isReachable());

  // The same value again is still a change report.
  ASSERT_TRUE(host->write(LinkFrame::reachabilityLine(false)));
  ASSERT_TRUE(host->write(LinkFrame::reachabilityLine(true)));
  events = companion.delegate.waitForEvents(5);
  EXPECT_FALSE(events[3].reachableThen);
  EXPECT_TRUE(events[4].reachableThen);

  // Going to the background and then away: a new host starts in the foreground.
  ASSERT_TRUE(host->write(LinkFrame::reachabilityLine(false)));
  companion.delegate.waitForEvents(6);
  host.reset();
  events = companion.delegate.waitForEvents(7);
  EXPECT_EQ(events[6].kind, "reachability");
  EXPECT_FALSE(events[6].reachableThen);
  host = std::make_unique<TestHostSocket>(path);
  events = companion.delegate.waitForEvents(8);
  EXPECT_TRUE(events[7].reachableThen);
  EXPECT_TRUE(companion.session.isReachable());
}

TEST(SocketSession, SendsMessagesToTheConnectedHostAndDropsThemWithoutOne) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  Companion companion(path);
  ASSERT_EQ(companion.listenProblem, "");
  companion.delegate.waitForEvents(1);

  // Nobody to hand it to: dropped, not kept for a host that comes later.
  companion.session.sendMessage({{"action", "reveal"}});

  TestHostSocket host(path);
  companion.delegate.waitForEvents(2);
  companion.session.sendMessage({{"action", "award"}, {"teamId", "t2"}});
  companion.session.sendMessage({{"action", "noAnswer"}});

  auto line = host.readLine();
  ASSERT_TRUE(line.has_value());
  LinkFrame::Parsed parsed = LinkFrame::parse(*line);
  ASSERT_TRUE(parsed.frame) << parsed.problem;
  EXPECT_EQ(parsed.frame->type, LinkFrame::Type::message);
  EXPECT_EQ(parsed.frame->payload, (ContextDictionary{{"action", "award"}, {"teamId", "t2"}}));
  line = host.readLine();
  ASSERT_TRUE(line.has_value());
  parsed = LinkFrame::parse(*line);
  ASSERT_TRUE(parsed.frame) << parsed.problem;
  EXPECT_EQ(parsed.frame->type, LinkFrame::Type::message);
  EXPECT_EQ(parsed.frame->payload, (ContextDictionary{{"action", "noAnswer"}}));
}

TEST(SocketSession, AnswersBadLinesWithAnErrorAndKeepsTheConnectionAndState) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  Companion companion(path);
  ASSERT_EQ(companion.listenProblem, "");
  companion.delegate.waitForEvents(1);
  TestHostSocket host(path);
  companion.delegate.waitForEvents(2);

  const std::string good = R"({"type":"context","payload":{"screen":"board"}})";
  ASSERT_TRUE(host.write(good + "\n"));
  companion.delegate.waitForEvents(3);

  ASSERT_TRUE(host.write("this is not json\n"));
  EXPECT_NE(errorOf(host.readLine()).find("line 1, column"), std::string::npos);

  ASSERT_TRUE(host.write(std::string(kMaxLinkLineBytes + 1, 'x') + "\n"));
  EXPECT_NE(errorOf(host.readLine()).find("longer than 1048576 bytes"), std::string::npos);

  // Over-long in pieces and without a newline for a while: still one error, then back in step.
  ASSERT_TRUE(host.write(R"({"type":"context","payload":{"gameName":")"));
  for (int chunk = 0; chunk < 20; ++chunk) ASSERT_TRUE(host.write(std::string(100000, 'y')));
  ASSERT_TRUE(host.write("\"}}\n"));
  EXPECT_NE(errorOf(host.readLine()).find("longer than"), std::string::npos);

  ASSERT_TRUE(
      host.write(R"({"type":"context","payload":{"screen":"board","teams":[{"id":"t1"},null]}})"
                 "\n"));
  const std::string nullError = errorOf(host.readLine());
  EXPECT_NE(nullError.find("/payload/teams/1"), std::string::npos) << nullError;

  ASSERT_TRUE(host.write(R"({"type":"context","payload":)" + nested(65) + "}\n"));
  const std::string deepError = errorOf(host.readLine());
  EXPECT_NE(deepError.find("/payload"), std::string::npos) << deepError;

  ASSERT_TRUE(host.write(R"({"type":"dance","payload":{}})"
                         "\n"));
  EXPECT_NE(errorOf(host.readLine()).find("\"dance\""), std::string::npos);
  ASSERT_TRUE(host.write(R"({"payload":{}})"
                         "\n"));
  EXPECT_NE(errorOf(host.readLine()).find("/type"), std::string::npos);
  ASSERT_TRUE(host.write(R"({"type":"context","payload":[1,2]})"
                         "\n"));
  EXPECT_NE(errorOf(host.readLine()).find("/payload"), std::string::npos);
  ASSERT_TRUE(host.write(R"({"type":"reachability","reachable":"no"})"
                         "\n"));
  EXPECT_NE(errorOf(host.readLine()).find("/reachable"), std::string::npos);
  ASSERT_TRUE(host.write("[1,2,3]\n"));
  EXPECT_NE(errorOf(host.readLine()), "");
  ASSERT_TRUE(host.write("{\"type\":\"context\",\"payload\":{\"screen\":\"\xff\"}}\n"));
  EXPECT_NE(errorOf(host.readLine()), "") << "text that is not UTF-8 is refused";

  // None of that reached the delegate or disturbed the state.
  EXPECT_EQ(companion.delegate.events().size(), 3u);
  EXPECT_EQ(companion.session.receivedApplicationContext(), parsed(R"({"screen":"board"})"));
  EXPECT_TRUE(companion.session.isReachable());

  // The deepest payload allowed still arrives, and so does the next good frame.
  ASSERT_TRUE(host.write(R"({"type":"message","payload":)" + nested(64) + "}\n"));
  ASSERT_TRUE(host.write(R"({"type":"context","payload":{"screen":"idle"}})"
                         "\r\n"));
  const auto events = companion.delegate.waitForEvents(5);
  EXPECT_EQ(events[3].kind, "message");
  EXPECT_EQ(events[3].dictionary, parsed(nested(64)));
  EXPECT_EQ(events[4].dictionary, parsed(R"({"screen":"idle"})"));
}

TEST(SocketSession, RefusesASecondHostAndKeepsTheFirst) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  Companion companion(path);
  ASSERT_EQ(companion.listenProblem, "");
  companion.delegate.waitForEvents(1);
  TestHostSocket first(path);
  companion.delegate.waitForEvents(2);

  TestHostSocket second(path);
  EXPECT_NE(errorOf(second.readLine()).find("another host is already connected"),
            std::string::npos);
  EXPECT_TRUE(second.readsEndOfInput());

  ASSERT_TRUE(first.write(R"({"type":"context","payload":{"screen":"board"}})"
                          "\n"));
  const auto events = companion.delegate.waitForEvents(3);
  EXPECT_EQ(events[2].kind, "context");
  EXPECT_TRUE(companion.session.isReachable());
  EXPECT_EQ(companion.delegate.events().size(), 3u) << "the refused host changed nothing";
}

TEST(SocketSession, AHostCutOffMidLineIsADisconnectAndMayComeBack) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  Companion companion(path);
  ASSERT_EQ(companion.listenProblem, "");
  companion.delegate.waitForEvents(1);
  {
    TestHostSocket host(path);
    companion.delegate.waitForEvents(2);
    ASSERT_TRUE(host.write(R"({"type":"context","payload":{"screen":"bo)"));
  }
  auto events = companion.delegate.waitForEvents(3);
  EXPECT_EQ(events[2].kind, "reachability");
  EXPECT_FALSE(events[2].reachableThen);

  TestHostSocket again(path);
  companion.delegate.waitForEvents(4);
  // Were the half line kept, this would glue onto it and fail to parse.
  ASSERT_TRUE(again.write(R"(ard"}})"
                          "\n"
                          R"({"type":"context","payload":{"screen":"question"}})"
                          "\n"));
  EXPECT_NE(errorOf(again.readLine()), "");
  events = companion.delegate.waitForEvents(5);
  EXPECT_EQ(events[4].kind, "context");
  EXPECT_EQ(events[4].dictionary, parsed(R"({"screen":"question"})"));
}

TEST(SocketSession, RestartsOverAStaleSocketButNeverOverALiveCompanion) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";

  // A socket file left behind by a run that ended without removing it.
  {
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
  }
  auto companion = std::make_unique<Companion>(path);
  ASSERT_EQ(companion->listenProblem, "");

  SocketSession intruder(optionsAt(path));
  EXPECT_NE(intruder.listen().find("another companion is already listening"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(path)) << "the live companion's socket is untouched";
  intruder.stop();
  EXPECT_TRUE(std::filesystem::exists(path)) << "stop removes only a socket the session bound";

  // The intruder's check was a connection like any host's: it came and went.
  auto events = companion->delegate.waitForEvents(3);
  EXPECT_EQ(events[1].kind, "reachability");
  EXPECT_FALSE(events[2].reachableThen);

  TestHostSocket host(path);
  companion->delegate.waitForEvents(4);
  companion.reset();
  EXPECT_TRUE(host.readsEndOfInput());
  EXPECT_FALSE(std::filesystem::exists(path)) << "a clean stop removes the socket file";

  companion = std::make_unique<Companion>(path);
  ASSERT_EQ(companion->listenProblem, "");
  TestHostSocket second(path);
  ASSERT_TRUE(second.write(R"({"type":"context","payload":{"screen":"board"}})"
                           "\n"));
  events = companion->delegate.waitForEvents(3);
  EXPECT_EQ(events[2].kind, "context");

  // Something that is not a socket is never replaced.
  const auto plain = folder.path() / "plain";
  { std::ofstream(plain) << "keep me"; }
  SocketSession onFile(optionsAt(plain));
  EXPECT_NE(onFile.listen().find("not a socket"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_regular_file(plain));
}

TEST(SocketSession, KeepsItsFolderPrivate) {
  TempFolder folder;

  // A missing folder is created for this user alone.
  const auto fresh = folder.path() / "fresh" / "link.sock";
  {
    SocketSession session(optionsAt(fresh));
    ASSERT_EQ(session.listen(), "");
    struct stat info {};
    ASSERT_EQ(stat(fresh.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }

  const auto open = folder.path() / "open";
  std::filesystem::create_directory(open);
  chmod(open.c_str(), 0755);
  SocketSession strict(optionsAt(open / "link.sock"));
  const std::string refusal = strict.listen();
  EXPECT_NE(refusal.find("refusing link folder"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("0755"), std::string::npos) << refusal;

  // A folder the user chose may be readable by others, never writable by them.
  SocketSession::Options chosen = optionsAt(open / "link.sock");
  chosen.folderPolicy = LinkFolderPolicy::chosenFolder;
  SocketSession readable(chosen);
  EXPECT_EQ(readable.listen(), "");
  readable.stop();
  chmod(open.c_str(), 0777);
  SocketSession writable(chosen);
  EXPECT_NE(writable.listen().find("write"), std::string::npos);

  SocketSession tooLong(optionsAt(folder.path() / std::string(120, 'n')));
  EXPECT_NE(tooLong.listen().find("too long"), std::string::npos);

  // Activation without a socket says so instead of pretending.
  RecordingDelegate delegate;
  tooLong.setDelegate(&delegate);
  tooLong.activateSession();
  const auto events = delegate.waitForEvents(1);
  EXPECT_TRUE(events[0].error.has_value());
}

TEST(SocketSession, RefusesAPeerOfAnotherUser) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  TempFolder folder;
  chmod(folder.path().c_str(), 0755);
  const auto path = folder.path() / "link.sock";
  SocketSession::Options options = optionsAt(path);
  options.folderPolicy = LinkFolderPolicy::chosenFolder;
  Companion companion(path, options);
  ASSERT_EQ(companion.listenProblem, "");
  companion.delegate.waitForEvents(1);
  // Open the door wide so that only the credential check stands in the way.
  chmod(path.c_str(), 0666);

  // The stranger is a program of its own, run as nobody: a forked copy of this threaded test
  // could block before it got as far as connecting.
  testing::ChildProcess stranger(
      "/usr/bin/setpriv",
      {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
       "import socket, sys\n"
       "s = socket.socket(socket.AF_UNIX)\n"
       "s.connect(sys.argv[1])\n"
       "print('read: ' + s.recv(512).decode(errors='replace'))\n",
       path.string()});
  EXPECT_EQ(stranger.exitStatus(), 0) << stranger.output();
  EXPECT_NE(stranger.output().find("read: "), std::string::npos) << stranger.output();
  EXPECT_NE(stranger.output().find("refused"), std::string::npos) << stranger.output();
  EXPECT_FALSE(companion.session.isReachable());
  EXPECT_EQ(companion.delegate.events().size(), 1u) << "a stranger is no host";
}

// Like the store, the delegate turns every snapshot into one block on the main queue; the main
// thread here is slower than the host on purpose, so the session has to hold the host back.
class QueueingDelegate final : public SessionDelegate {
 public:
  explicit QueueingDelegate(HandDrainedQueue& queue) : queue_(queue) {}
  void sessionActivationDidComplete(Session&, ActivationState,
                                    const std::optional<std::string>&) override {}
  void sessionDidReceiveApplicationContext(Session&, const ContextDictionary& context) override {
    queue(context);
  }
  void sessionDidReceiveMessage(Session&, const ContextDictionary& message) override {
    queue(message);
  }
  void sessionReachabilityDidChange(Session&) override {}

  std::vector<std::int64_t> applied;  // main thread only

 private:
  void queue(const ContextDictionary& snapshot) {
    const std::int64_t* sequence = snapshot.at("questionPoints").get_if<std::int64_t>();
    queue_.async(
        [this, value = sequence != nullptr ? *sequence : -1] { applied.push_back(value); });
  }
  HandDrainedQueue& queue_;
};

TEST(SocketSession, AFloodIsReadOnlyAsFastAsTheMainQueueDrainsAndLosesNothing) {
  TempFolder folder;
  const auto path = folder.path() / "link.sock";
  HandDrainedQueue queue;
  QueueingDelegate delegate(queue);
  SocketSession::Options options = optionsAt(path);
  options.waitUntilPendingAtMost = [&queue](std::size_t n) { queue.waitUntilPendingAtMost(n); };
  SocketSession session(options);
  ASSERT_EQ(session.listen(), "");
  session.setDelegate(&delegate);
  session.activateSession();

  constexpr int kSnapshots = 100000;
  std::thread host([&] {
    TestHostSocket socket(path);
    std::string batch;
    for (int i = 0; i < kSnapshots; ++i) {
      batch += R"({"type":")";
      batch += i % 2 == 0 ? "context" : "message";
      batch += R"(","payload":{"screen":"question","questionPoints":)" + std::to_string(i) + "}}\n";
      if (batch.size() > 60000) {
        ASSERT_TRUE(socket.write(batch));
        batch.clear();
      }
    }
    ASSERT_TRUE(socket.write(batch));
    socket.shutdownWriting();
    EXPECT_TRUE(socket.readsEndOfInput());
  });

  // Nothing drains until the session has filled the queue to its bound and must wait.
  EXPECT_TRUE(queue.waitUntilPendingAtLeast(options.maxPendingSnapshots + 1));
  while (delegate.applied.size() < kSnapshots && queue.runOne()) {
  }
  queue.close();
  host.join();

  ASSERT_EQ(delegate.applied.size(), static_cast<std::size_t>(kSnapshots));
  for (int i = 0; i < kSnapshots; ++i) {
    ASSERT_EQ(delegate.applied[i], i) << "snapshots must arrive complete and in order";
  }
  // One snapshot may be queued while the reader checks for room.
  EXPECT_LE(queue.mostPending(), options.maxPendingSnapshots + 1);
  EXPECT_EQ(session.receivedApplicationContext(),
            parsed(R"({"screen":"question","questionPoints":99998})"));
}

}  // namespace
}  // namespace dunvel
