#include "platform/link/ViewerHub.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <memory>
#include <string>
#include <vector>

#include "platform/link/WebSocketPeer.h"

namespace dunvel {
namespace {

// A viewer's connection that notes what the hub asks of it; a write is out once the test says so.
class NotedPeer final : public WebSocketPeer {
 public:
  void start() override {}
  void admit() override {}
  void turnAway(std::string) override {}
  void send(std::string) override {}
  void lineHandled() override {}
  void closeGently() override {}
  void closeNow() override {}
  void evict() override {}
  void sendView(std::shared_ptr<const std::string> bytes, bool) override { sent.push_back(*bytes); }
  void closeWith(std::uint16_t code) override { closedWith = code; }

  std::vector<std::string> sent;
  std::uint16_t closedWith = 0;
};

ViewerMessage message(std::string text) {
  return {std::make_shared<const std::string>(std::move(text)), false};
}

struct Hub {
  explicit Hub(ViewerHub::Options options = {}) {
    options.faceWidth = 198;
    options.faceHeight = 242;
    hub = std::make_unique<ViewerHub>(std::move(options));
    ViewerHub::Events events;
    events.wholeFaceWanted = [this](ViewerId id) { wholeWanted.push_back(id); };
    events.input = [this](ViewerId, ViewerInput input) { inputs.push_back(input); };
    events.log = [this](std::string line) { log.push_back(line); };
    hub->setEvents(std::move(events));
    hub->attach(io);
  }
  ViewerId join(const std::shared_ptr<NotedPeer>& peer) {
    EXPECT_TRUE(hub->reserve("127.0.0.1"));
    return hub->arrived(peer, "127.0.0.1");
  }
  void run() {
    io.restart();
    io.poll();
  }

  boost::asio::io_context io;
  std::unique_ptr<ViewerHub> hub;
  std::vector<ViewerId> wholeWanted;
  std::vector<ViewerInput> inputs;
  std::vector<std::string> log;
};

TEST(ViewerHub, ASlowViewerGetsTheLatestFaceNotABacklogAndOthersGoOn) {
  Hub hub;
  auto slow = std::make_shared<NotedPeer>();
  auto quick = std::make_shared<NotedPeer>();
  const ViewerId slowId = hub.join(slow);
  const ViewerId quickId = hub.join(quick);
  // Nothing of the face goes before the whole face.
  hub.hub->sendChangedPixels(message("tick 1"));
  hub.hub->sendWholeFace(message("whole A"), slowId);
  hub.hub->sendWholeFace(message("whole A"), quickId);
  hub.run();
  EXPECT_EQ(slow->sent, std::vector<std::string>{"whole A"});

  // The quick viewer writes each frame out; the slow one still has its first write under way.
  for (const char* tick : {"tick 2", "tick 3", "tick 4"}) {
    hub.hub->sendChangedPixels(message(tick));
    hub.run();
    hub.hub->written(quickId);
  }
  EXPECT_EQ(quick->sent, (std::vector<std::string>{"whole A", "tick 2", "tick 3", "tick 4"}));
  // Two frames behind: both dropped, the whole face asked for once, and no tick after it.
  EXPECT_EQ(hub.wholeWanted, std::vector<ViewerId>{slowId});
  hub.hub->written(slowId);
  EXPECT_EQ(slow->sent.size(), 1u);

  // Caught up. Behind a write under way, a key's state is its latest, and the changes after
  // a whole face still waiting go with it.
  hub.hub->written(slowId);
  for (const char* panel : {"panel 1", "panel 2", "panel 3"}) {
    hub.hub->sendState("panel", message(panel));
  }
  hub.hub->sendWholeFace(message("whole B;"), slowId);
  hub.hub->sendChangedPixels(message("tick 5"));
  hub.run();
  for (int i = 0; i < 3; ++i) hub.hub->written(slowId);
  EXPECT_EQ(slow->sent,
            (std::vector<std::string>{"whole A", "panel 1", "panel 3", "whole B;tick 5"}));
}

TEST(ViewerHub, EventsForAViewerThatIsBehindAreBoundedOldestFirst) {
  ViewerHub::Options options;
  options.maxQueuedEvents = 2;
  Hub hub(std::move(options));
  auto peer = std::make_shared<NotedPeer>();
  const ViewerId id = hub.join(peer);
  hub.hub->sendState("face", message("face"), id);
  for (const char* haptic : {"h1", "h2", "h3", "h4"}) hub.hub->sendEvent(message(haptic));
  hub.run();
  for (int i = 0; i < 4; ++i) hub.hub->written(id);
  EXPECT_EQ(peer->sent, (std::vector<std::string>{"face", "h3", "h4"}));
}

TEST(ViewerHub, OnlyCheckedInputReachesTheFaceAndAnythingElseClosesWithItsCode) {
  struct Case {
    std::string text;
    bool binary;
    std::uint16_t code;  // 0: taken
  };
  const std::vector<Case> cases = {
      {R"({"kind":"press","x":99,"y":110})", false, 0},
      {R"({"kind":"scroll","x":0,"y":242,"amount":-24,"unit":"line"})", false, 0},
      {R"({"kind":"tap","id":"reveal"})", false, 0},
      {R"({"kind":"cancel"})", false, 0},
      {"\x01\x02", true, 1003},
      {"[1,2]", false, 1007},
      {"{", false, 1007},
      {R"({"x":1,"y":1})", false, 1008},
      {R"({"kind":"shake","x":1,"y":1})", false, 1008},
      {R"({"kind":"press","x":"1","y":1})", false, 1008},
      {R"({"kind":"press","x":198.5,"y":1})", false, 1008},
      {R"({"kind":"move","x":1,"y":-0.1})", false, 1008},
      {R"({"kind":"scroll","x":1,"y":1,"amount":10001})", false, 1008},
      {R"({"kind":"scroll","x":1,"y":1,"amount":1,"unit":"page"})", false, 1008},
      {R"({"kind":"tap","id":""})", false, 1008},
  };
  for (const Case& c : cases) {
    Hub hub;
    auto peer = std::make_shared<NotedPeer>();
    const ViewerId id = hub.join(peer);
    hub.hub->received(id, c.text, c.binary);
    EXPECT_EQ(peer->closedWith, c.code) << c.text;
    EXPECT_EQ(hub.inputs.size(), c.code == 0 ? 1u : 0u) << c.text;
  }
}

TEST(ViewerHub, PressesPastAHandsRateCloseTheViewerAndPlacesAreBounded) {
  ViewerHub::Options options;
  options.maxViewers = 2;
  options.pressesPerSecond = 5;
  Hub hub(std::move(options));
  auto peer = std::make_shared<NotedPeer>();
  const ViewerId id = hub.join(peer);
  for (int i = 0; i < 10 && peer->closedWith == 0; ++i) {
    hub.hub->received(id, R"({"kind":"press","x":1,"y":1})", false);
  }
  EXPECT_EQ(peer->closedWith, 1008);
  EXPECT_EQ(hub.inputs.size(), 5u);

  // One more place, then a refusal; a handshake that gave its place back makes room again.
  EXPECT_TRUE(hub.hub->reserve("10.0.0.2"));
  EXPECT_FALSE(hub.hub->reserve("10.0.0.3"));
  hub.hub->unreserve();
  EXPECT_TRUE(hub.hub->reserve("10.0.0.3"));
  EXPECT_EQ(hub.log.back(), "a viewer from 10.0.0.3 was refused: 2 are watching (503)");
}

}  // namespace
}  // namespace dunvel
