#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppRunner.h"
#include "app/DunvelWatchApp.h"
#include "app/HeadlessAppRunner.h"
#include "link/ConnectivityStore.h"
#include "link/SessionPlatform.h"
#include "platform/device/LogHapticEngine.h"
#include "platform/runloop/ManualRunLoop.h"
#include "support/RecordingHapticEngine.h"
#include "support/RecordingSession.h"
#include "views/toolkit/Environment.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

constexpr double kStart = 1'700'000'000.0;

// ConnectivityStore::shared() is one per process, so its platform is too: one manual run loop
// and one recording session for every test in this program, installed once.
struct Platform {
  Platform() : loop(Date{kStart}) { installSessionPlatform(session.platform(loop)); }
  ManualRunLoop loop;
  RecordingSession session;
};

Platform& platform() {
  static Platform* instance = new Platform();  // lives as long as the shared store
  return *instance;
}

std::size_t count(const std::vector<std::string>& calls, const std::string& name) {
  return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), name));
}

EnvironmentValues services(RecordingHapticEngine& haptics) {
  EnvironmentValues values;
  values.setClock(platform().loop).setTimerScheduler(platform().loop).setCurrentDevice(haptics);
  return values;
}

std::string shownScreen(const Element& tree) {
  for (const char* type : {"HostRemoteView", "ScoresView", "TournamentGlanceView", "IdleView"}) {
    if (tree.findView(type) != nullptr) return type;
  }
  return "none";
}

TEST(DunvelWatchApp, OneStoreHoweverOftenTheAppOrItsBodyIsMade) {
  Platform& p = platform();
  RecordingHapticEngine haptics;
  // Making app values and scenes does not touch the store; building the content does.
  DunvelWatchApp first;
  WindowGroup scene = first.body();
  const bool storeExisted = count(p.session.callNames(), "setDelegate") > 0;
  if (!storeExisted) {
    EXPECT_TRUE(p.session.callNames().empty());
  }

  std::vector<std::unique_ptr<ViewGraph>> graphs;
  for (int i = 0; i < 3; ++i) {
    const DunvelWatchApp again;  // as when the platform re-creates the app value
    graphs.push_back(
        std::make_unique<ViewGraph>(again.body().content(), services(haptics), p.loop));
    graphs.push_back(std::make_unique<ViewGraph>(scene.content(), services(haptics), p.loop));
  }
  for (auto& graph : graphs) graph->evaluate();
  // The store was set up once: one delegate, one activation.
  EXPECT_EQ(count(p.session.callNames(), "setDelegate"), 1u);
  EXPECT_EQ(count(p.session.callNames(), "activateSession"), 1u);

  // Every window sees the same store: one assignment moves them all.
  GameState board;
  board.screen = "board";
  ConnectivityStore::shared().state = board;
  p.loop.drain();
  for (auto& graph : graphs) EXPECT_EQ(shownScreen(graph->tree()), "ScoresView");
  ConnectivityStore::shared().state = GameState{};
  p.loop.drain();
  for (auto& graph : graphs) EXPECT_EQ(shownScreen(graph->tree()), "IdleView");
}

TEST(DunvelWatchApp, TheWindowIsContentViewWithTheStoreAndRightToLeft) {
  RecordingHapticEngine haptics;
  const DunvelWatchApp app;
  ViewGraph graph(app.body().content(), services(haptics), platform().loop);
  graph.evaluate();
  const Element& root = graph.tree();
  ASSERT_EQ(root.kind, ElementKind::view);
  EXPECT_EQ(root.viewType, "ContentView");
  // Innermost first: the store into the environment, then the layout direction over all.
  ASSERT_EQ(root.modifiers.size(), 2u);
  EXPECT_EQ(root.modifiers[0].kind, ModifierKind::environmentObject);
  EXPECT_EQ(root.modifiers[1].kind, ModifierKind::environment);
  EXPECT_EQ(root.modifiers[1].layoutDirection, LayoutDirection::rightToLeft);
}

// A control's action runs in its place's environment: what it finds there is what the screens
// below the app's window find.
TEST(DunvelWatchApp, ScreensFindTheSharedStoreAndRightToLeftInTheirEnvironment) {
  Platform& p = platform();
  RecordingHapticEngine haptics;
  std::optional<LayoutDirection> direction;
  ConnectivityStore* found = nullptr;
  haptics.onPlay = [&](HapticType) {
    direction = Environment::current().layoutDirection;
    found = &Environment::current().object<ConnectivityStore>();
  };
  const DunvelWatchApp app;
  ViewGraph graph(app.body().content(), services(haptics), p.loop);
  graph.evaluate();
  GameState question;
  question.screen = "question";
  ConnectivityStore::shared().state = question;
  p.loop.drain();
  const Element* reveal = graph.tree().findButton("اعرض الإجابة");
  ASSERT_NE(reveal, nullptr);
  reveal->tap();
  EXPECT_EQ(direction, LayoutDirection::rightToLeft);
  EXPECT_EQ(found, &ConnectivityStore::shared());
  ConnectivityStore::shared().state = GameState{};
  p.loop.drain();
}

ContextDictionary questionContext(double openedAt) {
  return ContextDictionary{
      {"screen", "question"},
      {"questionPoints", 20},
      {"questionMode", "سريع"},
      {"questionOpenedAt", openedAt},
      {"teams", ContextArray{ContextDictionary{{"id", "t1"}, {"name", "الصقور"}, {"points", 5}}}},
  };
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// Snapshots come in on the link's own thread, as on the watch; the log shows one line per screen
// change and one per haptic, and the clock's ticking alone logs nothing.
TEST(HeadlessAppRunner, LogsOneLinePerScreenChangeAndPerHaptic) {
  Platform& p = platform();
  ConnectivityStore::shared();
  ConnectivityStore::shared().state = GameState{};
  ConnectivityStore::shared().reachable = false;
  p.loop.drain();

  std::ostringstream log;
  LogHapticEngine haptics(log);
  bool ranMainThread = false;
  HeadlessAppRunner runner(p.loop, p.loop, p.loop, haptics, log, [&] { ranMainThread = true; });
  EXPECT_EQ(appMain<DunvelWatchApp>(runner), 0);
  EXPECT_TRUE(ranMainThread);
  EXPECT_EQ(lines(log.str()),
            std::vector<std::string>{"screen idle: Dunvel | افتح التطبيق على الآيفون"});

  log.str("");
  p.session.setReachable(true);
  p.session.deliverReachabilityChange();
  p.loop.drain();
  const double opened = p.loop.now().timeIntervalSince1970 - 55;
  p.session.deliverApplicationContext(questionContext(opened));
  p.loop.drain();
  p.loop.advance(10.0);  // 65 s open: the minute passes at the fifth tick
  ContextDictionary board = questionContext(opened);
  board["screen"] = "board";
  p.session.deliverMessage(board);
  p.loop.drain();
  runner.tree().findAll(ElementKind::view);  // the tree is reachable through the runner
  EXPECT_EQ(lines(log.str()), (std::vector<std::string>{
                                  "screen idle: Dunvel | بانتظار بدء اللعب…",
                                  "screen question: 0:55 | 20 | سريع | اعرض الإجابة",
                                  "haptic: notification (0)",
                                  "screen question: 1:00 (overtime) | 20 | سريع | اعرض الإجابة",
                                  "screen scoreboard: الصقور | 5",
                              }));
}

// A name from the host app is written to the log as one line that a terminal shows as written:
// it can neither forge a line of the companion's nor clear the screen or write the clipboard.
TEST(HeadlessAppRunner, NamesFromTheSnapshotCannotForgeLinesOrControlTheTerminal) {
  Platform& p = platform();
  ConnectivityStore::shared();
  std::ostringstream log;
  LogHapticEngine haptics(log);
  HeadlessAppRunner runner(p.loop, p.loop, p.loop, haptics, log, [] {});
  appMain<DunvelWatchApp>(runner);
  log.str("");
  p.session.deliverApplicationContext(
      {{"screen", "board"},
       {"gameName", "line1\nFAKE: dunvel-watch: stopped\r"},
       {"teams", ContextArray{ContextDictionary{{"id", "t1"},
                                                {"name",
                                                 "\x1b[2J\x1b]0;title\x07\xc2\x9b"
                                                 "\x1b]52;c;aGk=\x07"},
                                                {"points", 1}}}}});
  p.loop.drain();
  const std::vector<std::string> logged = lines(log.str());
  ASSERT_EQ(logged.size(), 1u) << log.str();
  EXPECT_EQ(logged[0],
            "screen scoreboard: line1\\nFAKE: dunvel-watch: stopped\\r | "
            "\\x1b[2J\\x1b]0;title\\x07\\u009b\\x1b]52;c;aGk=\\x07 | 1")
      << logged[0];
  ConnectivityStore::shared().state = GameState{};
  p.loop.drain();
}

TEST(ScreenDescription, TheClockTickingAloneIsNoChange) {
  ScreenDescription a{"question", {"20"}, "0:05", false};
  ScreenDescription b{"question", {"20"}, "0:06", false};
  ScreenDescription red{"question", {"20"}, "1:00", true};
  ScreenDescription answer{"answer", {"20"}, "0:06", false};
  EXPECT_TRUE(a.sameScreenAs(b));
  EXPECT_FALSE(a.sameScreenAs(red));
  EXPECT_FALSE(a.sameScreenAs(answer));
  EXPECT_EQ(red.line(), "question: 1:00 (overtime) | 20");
  EXPECT_EQ((ScreenDescription{"idle", {}, "", false}).line(), "idle:");
}

// A long team list makes a log line of a readable length that still says how many teams there
// are, on each screen that lists them.
TEST(ScreenDescription, ALongTeamListIsCutToAReadableLineWithTheNumberOfTeams) {
  Platform& p = platform();
  ConnectivityStore::shared();
  std::ostringstream log;
  LogHapticEngine haptics(log);
  HeadlessAppRunner runner(p.loop, p.loop, p.loop, haptics, log, [] {});
  appMain<DunvelWatchApp>(runner);
  ContextArray teams;
  for (int i = 0; i < 1000; ++i) {
    teams.push_back(ContextDictionary{{"id", "t" + std::to_string(i)}, {"name", "فريق"}});
  }
  for (const char* screen : {"board", "answer"}) {
    log.str("");
    p.session.deliverApplicationContext(
        {{"screen", screen}, {"gameName", "ليلة"}, {"teams", teams}});
    p.loop.drain();
    const std::vector<std::string> logged = lines(log.str());
    ASSERT_EQ(logged.size(), 1u) << screen;
    EXPECT_LE(logged[0].size(), ScreenDescription::kMaxLineBytes + 60) << logged[0];
    EXPECT_TRUE(logged[0].ends_with(" more texts, 1000 teams)")) << logged[0];
  }
  ScreenDescription few{"scoreboard", {"a", "1"}, "", false, 1};
  EXPECT_EQ(few.line(), "scoreboard: a | 1") << "a short list is not cut";
  ConnectivityStore::shared().state = GameState{};
  p.loop.drain();
}

}  // namespace
}  // namespace dunvel
