#include "platform/link/OneHostLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/link/LinkTestSupport.h"
#include "wire/LinkFrame.h"

namespace dunvel {
namespace {

// Records what the link asks of the remote hosts' endpoint, one line a call.
class RecordingEndpoint final : public RemoteHostEndpoint {
 public:
  void admit(RemoteHostId host) override { calls.push_back("admit " + std::to_string(host)); }
  void turnAway(RemoteHostId host, std::string errorLine) override {
    calls.push_back("turnAway " + std::to_string(host) + " " + errorLine);
  }
  void send(RemoteHostId host, std::string line) override {
    calls.push_back("send " + std::to_string(host) + " " + line);
  }
  void lineHandled(RemoteHostId host) override {
    calls.push_back("lineHandled " + std::to_string(host));
  }
  void close(RemoteHostId host) override { calls.push_back("close " + std::to_string(host)); }

  std::vector<std::string> calls;
};

// The session the delegate's callbacks name: it answers from the link, as SocketSession does.
class LinkSession final : public Session {
 public:
  void setDelegate(SessionDelegate*) override {}
  void activateSession() override {}
  ContextDictionary receivedApplicationContext() const override { return link->lastContext(); }
  bool isReachable() const override { return link->isReachable(); }
  void sendMessage(const ContextDictionary&) override {}

  OneHostLink* link = nullptr;
};

struct Fixture {
  Fixture() {
    OneHostLink::Hooks hooks;
    hooks.traffic = [this](const LinkTraffic& seen) { traffic.push_back(seen.kind); };
    link = std::make_unique<OneHostLink>(session, std::move(hooks));
    session.link = link.get();
    link->setDelegate(&delegate);
    link->attachEndpoint(&endpoint);
  }

  LinkSession session;
  testing::RecordingDelegate delegate;
  RecordingEndpoint endpoint;
  std::vector<LinkTraffic::Kind> traffic;
  std::unique_ptr<OneHostLink> link;
};

const std::string kTaken = LinkFrame::errorLine(kLinkTakenMessage);

// One host at a time across both ways in: remote hosts that came early wait for the first
// activation with a listening socket and are then answered in their order; whoever comes while
// the link is held is turned away with the same line; and the link is free again once its holder
// leaves, whichever way it came.
TEST(OneHostLink, LetsOneHostInAtATimeWhicheverWayItComes) {
  Fixture f;
  f.link->remoteHostArrived(1);
  f.link->remoteHostArrived(2);
  f.link->remoteHostArrived(3);
  f.link->remoteHostLeft(2);
  EXPECT_TRUE(f.endpoint.calls.empty());

  EXPECT_FALSE(f.link->activate(false));
  ASSERT_EQ(f.delegate.events().size(), 1u);
  EXPECT_EQ(f.delegate.events()[0].error, "the link socket is not listening");
  EXPECT_TRUE(f.endpoint.calls.empty());

  EXPECT_TRUE(f.link->activate(true));
  EXPECT_EQ(f.endpoint.calls, (std::vector<std::string>{"admit 1", "turnAway 3 " + kTaken}));
  EXPECT_TRUE(f.link->isReachable());
  EXPECT_FALSE(f.link->activate(true));

  EXPECT_EQ(f.link->socketHostArrived(), kTaken);
  f.link->remoteHostLeft(3);  // turned away: its leaving frees nothing
  EXPECT_TRUE(f.link->isReachable());
  f.link->remoteHostLeft(1);
  EXPECT_FALSE(f.link->isReachable());

  EXPECT_EQ(f.link->socketHostArrived(), "");
  EXPECT_TRUE(f.link->isReachable());
  f.endpoint.calls.clear();
  f.link->remoteHostArrived(4);
  f.link->sendToRemoteHost("{}\n");  // the socket's host holds the link: nothing goes out here
  EXPECT_EQ(f.endpoint.calls, (std::vector<std::string>{"turnAway 4 " + kTaken}));
  f.link->socketHostLeft();
  EXPECT_FALSE(f.link->isReachable());

  EXPECT_EQ(f.traffic, (std::vector<LinkTraffic::Kind>{
                           LinkTraffic::Kind::hostConnected, LinkTraffic::Kind::hostDisconnected,
                           LinkTraffic::Kind::hostConnected, LinkTraffic::Kind::hostDisconnected}));
}

// Only the holder's lines count. A frame reaches the delegate; a line that is no frame is
// answered with an error and changes nothing; an error frame is never answered; and a remote
// host hears that its line was dealt with so that its next one may be read.
TEST(OneHostLink, HandlesTheHoldersLinesAndIgnoresEveryoneElses) {
  Fixture f;
  EXPECT_TRUE(f.link->activate(true));
  f.link->remoteHostArrived(5);
  f.link->remoteHostArrived(6);
  f.endpoint.calls.clear();

  const ContextDictionary context{{"phase", "question"}};
  f.link->remoteLine(6, LinkFrame::contextLine(context));
  EXPECT_TRUE(f.endpoint.calls.empty());
  EXPECT_TRUE(f.link->lastContext().empty());

  std::string contextLine = LinkFrame::contextLine(context);
  contextLine.pop_back();
  f.link->remoteLine(5, contextLine);
  f.link->remoteLine(5, "{\"type\":\"context\"");
  ASSERT_EQ(f.endpoint.calls.size(), 3u);
  EXPECT_EQ(f.endpoint.calls[0], "lineHandled 5");
  EXPECT_EQ(f.endpoint.calls[1].rfind("send 5 {\"type\":\"error\"", 0), 0u) << f.endpoint.calls[1];
  EXPECT_EQ(f.endpoint.calls[2], "lineHandled 5");
  EXPECT_EQ(f.link->lastContext(), context);

  std::vector<std::string> replies;
  const auto reply = [&](std::string line) { replies.push_back(std::move(line)); };
  f.link->handleLine("{\"type\":\"error\",\"message\":\"no\"}", reply);
  f.link->handleLine("{\"type\":\"reachability\",\"reachable\":false}", reply);
  EXPECT_TRUE(replies.empty());
  EXPECT_FALSE(f.link->isReachable());

  const std::vector<testing::RecordingDelegate::Event> events = f.delegate.events();
  ASSERT_EQ(events.size(), 4u);  // activation, reachability, context, reachability
  EXPECT_EQ(events[2].kind, "context");
  EXPECT_EQ(events[2].dictionary, context);
  EXPECT_EQ(events[3].kind, "reachability");
  EXPECT_FALSE(events[3].reachableThen);
  // A refused line and an error frame are no traffic; the context and reachability frames are.
  EXPECT_EQ(std::count(f.traffic.begin(), f.traffic.end(), LinkTraffic::Kind::frameReceived), 2);

  f.endpoint.calls.clear();
  f.link->sendToRemoteHost("line\n");
  EXPECT_EQ(f.endpoint.calls, (std::vector<std::string>{"send 5 line\n"}));
  f.link->remoteHostArrived(7);  // refused, and so not closed on stop
  f.endpoint.calls.clear();
  f.link->closeAll();
  EXPECT_EQ(f.endpoint.calls, (std::vector<std::string>{"close 5"}));
  EXPECT_EQ(f.link->socketHostArrived(), "");
}

}  // namespace
}  // namespace dunvel
