#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FaceImage.h"
#include "XvfbDisplay.h"
#include "platform/link/ChildProcess.h"
#include "platform/link/LinkTestSupport.h"
#include "render/FaceSize.h"

namespace dunvel {
namespace {

using testing::ChildProcess;
using testing::differingShare;
using testing::FaceImage;
using testing::PixelRegion;
using testing::TempFolder;
using testing::XvfbDisplay;

// Anti-aliasing may differ at a few edges; anything wrong moves far more pixels than this.
constexpr double kTolerance = 0.002;

const std::string kAnswer = R"({"screen": "answer", "questionPoints": 10, "teams": [
  {"id": "t1", "name": "الصقور", "points": 40}, {"id": "t2", "name": "النمور", "points": 35}]})";
const std::string kBoard = R"({"screen": "board", "gameName": "ليلة الأسئلة", "teams": [
  {"id": "t1", "name": "الصقور", "points": 50}, {"id": "t2", "name": "النمور", "points": 35}],
  "turnTeamId": "t2"})";
const std::string kTournament = R"({"screen": "tournament", "tournament": {"name": "الدوري",
  "roundLabel": "نصف النهائي", "teamA": "الصقور", "teamB": "النمور", "status": "جارية"}})";

// A board of twenty teams, the tenth named as given.
std::string boardOfTwenty(const std::string& tenth) {
  nlohmann::json board = {{"screen", "board"}, {"gameName", "ليلة طويلة"}};
  for (int i = 1; i <= 20; ++i) {
    board["teams"].push_back({{"id", "t" + std::to_string(i)},
                              {"name", i == 10 ? tenth : "فريق " + std::to_string(i)},
                              {"points", 100 - i}});
  }
  return board.dump();
}

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
  const auto path = folder.path() / name;
  std::ofstream(path) << text;
  return path.string();
}

int run(const std::string& program, std::vector<std::string> arguments) {
  ChildProcess process(program, std::move(arguments));
  const int status = process.exitStatus();
  EXPECT_EQ(status, 0) << program << ": " << process.output();
  return status;
}

std::vector<std::string> onDisplay(const XvfbDisplay& x) {
  return {"DISPLAY=" + x.name(), "WAYLAND_DISPLAY="};
}

void xdotool(const XvfbDisplay& x, std::vector<std::string> arguments) {
  ChildProcess process("/usr/bin/xdotool", std::move(arguments), onDisplay(x));
  EXPECT_EQ(process.exitStatus(), 0) << process.output();
}

// dunvel-preview png of a snapshot file, as the window should show it.
FaceImage preview(const std::string& snapshot, std::vector<std::string> options = {}) {
  const std::string png = snapshot + ".png";
  options.insert(options.begin(), {"png", snapshot, "-o", png});
  run(DUNVEL_PREVIEW_PATH, options);
  return FaceImage::readPng(png);
}

// The snapshot's screen as dunvel-preview tree --layout lays it out: frames in points.
nlohmann::json layoutOf(const std::string& snapshot) {
  // Standard output alone: a sanitizer's report on standard error is no part of the JSON.
  std::string json;
  FILE* tree =
      popen((DUNVEL_PREVIEW_PATH " tree --layout " + snapshot + " 2>/dev/null").c_str(), "r");
  char chunk[4096];
  for (std::size_t got; tree != nullptr && (got = fread(chunk, 1, sizeof chunk, tree)) > 0;) {
    json.append(chunk, got);
  }
  EXPECT_TRUE(tree != nullptr && pclose(tree) == 0);
  return nlohmann::json::parse(json);
}

// The first element of a laid-out tree, depth first, that matches; null when none does.
const nlohmann::json* findIn(const nlohmann::json& element,
                             const std::function<bool(const nlohmann::json&)>& match) {
  if (match(element)) return &element;
  if (!element.contains("children")) return nullptr;
  for (const auto& child : element["children"]) {
    if (const nlohmann::json* found = findIn(child, match)) return found;
  }
  return nullptr;
}

bool isKind(const nlohmann::json& element, const char* kind) {
  return element.value("kind", "") == kind;
}

// Where the layout puts the centre of the button showing text, in pixels (2 per point).
std::pair<std::string, std::string> buttonCentre(const std::string& snapshot,
                                                 const std::string& text) {
  const nlohmann::json layout = layoutOf(snapshot);
  const nlohmann::json* button = findIn(layout, [&](const nlohmann::json& element) {
    return isKind(element, "button") && findIn(element, [&](const nlohmann::json& inside) {
                                          return inside.value("text", "") == text;
                                        }) != nullptr;
  });
  if (button == nullptr) {
    ADD_FAILURE() << "no button shows " << text;
    return {"0", "0"};
  }
  const nlohmann::json& frame = (*button)["frame"];
  const double x = frame["x"].get<double>() + frame["width"].get<double>() / 2;
  const double y = frame["y"].get<double>() + frame["height"].get<double>() / 2;
  EXPECT_LT(y + 10, 242.0) << text << " is on the face";
  return {std::to_string(static_cast<int>(x * 2)), std::to_string(static_cast<int>(y * 2))};
}

// Checks until the condition holds; false at the deadline.
bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + testing::kDeadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Waits until the window shows what expected shows (in a region, read rowsDown rows lower);
// the last share of differing pixels either way.
double awaitShown(XvfbDisplay& x, unsigned long window, const FaceImage& expected,
                  const PixelRegion& region, int rowsDown = 0) {
  double share = 1.0;
  eventually([&] {
    share = differingShare(x.capture(window), expected, region, rowsDown);
    return share < kTolerance;
  });
  return share;
}

// Whether a connection to the socket at path is open: the kernel lists the companion's end of
// it with the socket's path and state 03 (connected). Looking does not touch the link.
bool connectedTo(const std::string& path) {
  std::ifstream table("/proc/net/unix");
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string num, refCount, protocol, flags, type, state, inode, socketPath;
    fields >> num >> refCount >> protocol >> flags >> type >> state >> inode >> socketPath;
    if (socketPath == path && state == "03") return true;
  }
  return false;
}

// The face below the time band. The band shows the wall clock's time, which may turn a minute
// between the preview's frame and the window's; the face's own tests check the time.
PixelRegion whole(const FaceImage& image) {
  // The band is at most 16 % of any case's height.
  return PixelRegion{0, image.height * 16 / 100, image.width, image.height};
}

// dunvel-watch in a window on a display of the test's own, listening on a socket of its own.
class WindowExecutable : public ::testing::Test {
 protected:
  void start(std::vector<std::string> options = {}) {
    ASSERT_FALSE(x.name().empty());
    options.insert(options.begin(), {"--link", link});
    watch = std::make_unique<ChildProcess>(DUNVEL_WATCH_PATH, options, onDisplay(x));
    ASSERT_TRUE(watch->waitForOutput("listening on")) << watch->output();
    window = x.findWindow("Dunvel");
    ASSERT_NE(window, 0u) << watch->output();
  }

  XvfbDisplay x;
  TempFolder folder;
  const std::string link = (folder.path() / "link.sock").string();
  std::unique_ptr<ChildProcess> watch;
  unsigned long window = 0;
};

TEST_F(WindowExecutable, AClickOnAControlReachesTheHostAndAPressThatLeavesItSendsNothing) {
  const std::string answer = write(folder, "answer.json", kAnswer);
  ASSERT_NO_FATAL_FAILURE(start());
  run(DUNVEL_HOST_PATH, {"push", answer, "--link", link});
  const FaceImage expected = preview(answer);
  ASSERT_LT(awaitShown(x, window, expected, whole(expected)), kTolerance);

  ChildProcess listen(DUNVEL_HOST_PATH, {"listen", "--link", link});
  // Once the listener's connection is there, the companion admits it before any later one, so
  // a push turned away proves the listener holds the link (and the companion knows it).
  ASSERT_TRUE(eventually([&] { return connectedTo(link); })) << listen.output();
  ChildProcess refused(DUNVEL_HOST_PATH, {"push", answer, "--link", link});
  EXPECT_EQ(refused.exitStatus(), 1);
  ASSERT_NE(refused.output().find("another host"), std::string::npos) << refused.output();

  const auto [noAnswerX, noAnswerY] = buttonCentre(answer, "محد جاوب");
  const auto [awardX, awardY] = buttonCentre(answer, "الصقور");
  const std::string id = std::to_string(window);
  // Pressed on the no-answer control, slid off it sideways, released: nothing is sent.
  xdotool(x, {"mousemove", "--window", id, noAnswerX, noAnswerY, "mousedown", "1", "mousemove",
              "--window", id, "2", noAnswerY, "mouseup", "1"});
  xdotool(x, {"mousemove", "--window", id, awardX, awardY, "click", "1"});
  xdotool(x, {"mousemove", "--window", id, noAnswerX, noAnswerY, "click", "1"});
  ASSERT_TRUE(listen.waitForOutput("{\"action\":\"noAnswer\"}\n")) << listen.output();
  EXPECT_EQ(listen.output(),
            "{\"action\":\"award\",\"teamId\":\"t1\"}\n{\"action\":\"noAnswer\"}\n");
  ASSERT_TRUE(watch->waitForOutput("haptic: failure (4)")) << watch->output();
  EXPECT_NE(watch->output().find("haptic: success (3)"), std::string::npos);

  // Escape ends the companion as Ctrl-C does.
  xdotool(x, {"mousemove", "--window", id, "20", "20", "key", "Escape"});
  EXPECT_EQ(watch->exitStatus(), 0) << watch->output();
  EXPECT_FALSE(std::filesystem::exists(link));
  // One haptic per tap, none for the press that left.
  std::size_t haptics = 0;
  for (auto at = watch->output().find("haptic: "); at != std::string::npos;
       at = watch->output().find("haptic: ", at + 1)) {
    ++haptics;
  }
  EXPECT_EQ(haptics, 2u) << watch->output();
  listen.signal(SIGINT);
  EXPECT_EQ(listen.exitStatus(), 0);
}

TEST_F(WindowExecutable, TheWindowIsTheFaceThePreviewDrawsAndClosingItEndsTheCompanionCleanly) {
  const std::string board = write(folder, "board.json", kBoard);
  ASSERT_NO_FATAL_FAILURE(start({"--size", "41mm", "--scale", "1.5"}));
  run(DUNVEL_HOST_PATH, {"push", board, "--link", link});

  const FaceImage expected = preview(board, {"--size", "41mm", "--scale", "1.5"});
  ASSERT_EQ(expected.width, 264);
  const FaceImage shown = x.capture(window);
  EXPECT_EQ(shown.width, expected.width);
  EXPECT_EQ(shown.height, expected.height);
  EXPECT_LT(awaitShown(x, window, expected, whole(expected)), kTolerance);
  // The time in the band's top left corner: white figures.
  const FaceImage band = x.capture(window);
  int white = 0;
  for (int y = 0; y < band.height * 16 / 100; ++y) {
    for (int px = 0; px < band.width / 2; ++px) white += (band.at(px, y) & 0xF0F0F0) == 0xF0F0F0;
  }
  EXPECT_GT(white, 20);

  // + and - step the wearer's text size from the case's own (large on 41mm), at once.
  const std::string id = std::to_string(window);
  xdotool(x, {"key", "--window", id, "plus", "plus"});
  const FaceImage larger =
      preview(board, {"--size", "41mm", "--scale", "1.5", "--text-size", "xxLarge"});
  EXPECT_LT(awaitShown(x, window, larger, whole(larger)), kTolerance);
  xdotool(x, {"key", "--window", id, "minus", "minus", "minus"});
  const FaceImage smaller =
      preview(board, {"--size", "41mm", "--scale", "1.5", "--text-size", "small"});
  EXPECT_LT(awaitShown(x, window, smaller, whole(smaller)), kTolerance);

  x.close(window);
  EXPECT_EQ(watch->exitStatus(), 0) << watch->output();
  EXPECT_NE(watch->output().find("dunvel-watch: stopped"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(link)) << "the socket file is removed on the way out";
}

TEST_F(WindowExecutable, TheWheelScrollsALongBoardAndANewSnapshotOfItKeepsThePosition) {
  const std::string frames = (folder.path() / "frames").string();
  const std::string before = write(folder, "before.json", boardOfTwenty("فريق 10"));
  const std::string after = write(folder, "after.json", boardOfTwenty("العاشر الجديد"));
  ASSERT_NO_FATAL_FAILURE(start({"--frames", frames}));
  run(DUNVEL_HOST_PATH, {"push", before, "--link", link});
  const FaceImage top = preview(before);
  ASSERT_LT(awaitShown(x, window, top, whole(top)), kTolerance);

  // Three detents of the wheel move the content up three lines of 24 points (144 pixels). The
  // comparison stays inside the scroll view (below the time band) and away from the indicator
  // and the display's corners.
  const nlohmann::json layout = layoutOf(before);
  const nlohmann::json* view =
      findIn(layout, [](const nlohmann::json& element) { return isKind(element, "scrollView"); });
  ASSERT_NE(view, nullptr);
  const double viewTop = (*view)["frame"]["y"].get<double>();
  const double viewBottom = viewTop + (*view)["frame"]["height"].get<double>();
  const PixelRegion inside{60, static_cast<int>(viewTop * 2), 336,
                           static_cast<int>(viewBottom * 2) - 144};
  xdotool(x, {"mousemove", "--window", std::to_string(window), "198", "240", "click", "--repeat",
              "3", "--delay", "30", "5"});
  EXPECT_LT(awaitShown(x, window, top, inside, 144), kTolerance);

  // The same screen, one team renamed: still three lines down.
  run(DUNVEL_HOST_PATH, {"push", after, "--link", link});
  const FaceImage renamed = preview(after);
  ASSERT_GT(differingShare(top, renamed, inside, 144), kTolerance) << "the change shows";
  EXPECT_LT(awaitShown(x, window, renamed, inside, 144), kTolerance);

  // Each painted frame was written too; the last is what the window shows.
  std::vector<std::filesystem::path> written;
  for (const auto& entry : std::filesystem::directory_iterator(frames)) {
    written.push_back(entry.path());
  }
  std::sort(written.begin(), written.end());
  ASSERT_GE(written.size(), 3u);
  const FaceImage last = FaceImage::readPng(written.back().string());
  EXPECT_LT(differingShare(x.capture(window), last), kTolerance);
  watch->signal(SIGTERM);
  EXPECT_EQ(watch->exitStatus(), 0);
}

// Weston, started by the test with a runtime folder and socket of its own. Its headless backend
// has no seat: no pointer, no keyboard. Its X11 backend, in a window on an Xvfb display, has
// one: the X server's pointer and keyboard, which xdotool drives, reach the window through the
// compositor as a desktop's do (Debian's Weston has no test plugin to feed input otherwise).
// Its output is smaller than the X screen, so that the pointer can be outside it: Weston follows
// the X pointer only from the moment it enters its window. The shell has no panel, whose
// launcher a stray click would open over the window.
class Weston {
 public:
  explicit Weston(const XvfbDisplay* on = nullptr) {
    const std::string config = (runtime_.path() / "weston.ini").string();
    std::ofstream(config) << "[shell]\npanel-position=none\nlocking=false\n";
    std::vector<std::string> arguments{"--socket=wl-test", "--idle-time=0", "--config=" + config};
    std::vector<std::string> environment{"XDG_RUNTIME_DIR=" + runtime_.path().string(),
                                         "WAYLAND_DISPLAY="};
    if (on != nullptr) {
      arguments.insert(arguments.begin(),
                       {"--backend=x11-backend.so", "--use-pixman", "--width=600", "--height=600"});
      environment.push_back("DISPLAY=" + on->name());
    } else {
      arguments.insert(arguments.begin(), "--backend=headless-backend.so");
      environment.push_back("DISPLAY=");
    }
    process_ = std::make_unique<ChildProcess>("/usr/bin/weston", arguments, environment);
    // The shell's globals are there once it launches its own client.
    ready_ = process_->waitForOutput("weston-desktop-shell'");
  }

  bool ready() const { return ready_; }
  const std::string& log() const { return process_->output(); }
  // A client's environment: this compositor, no X display.
  std::vector<std::string> clientEnvironment() const {
    return {"DISPLAY=", "WAYLAND_DISPLAY=wl-test", "XDG_RUNTIME_DIR=" + runtime_.path().string()};
  }
  // Ends the compositor at once (SIGKILL), as a crash or an ended session does.
  void kill() {
    process_->signal(SIGKILL);
    process_->exitStatus();
  }

 private:
  TempFolder runtime_;
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
};

// Where in the compositor's output (an image of Weston's X11 window) the face shows: the
// compositor's shell places windows where it likes.
std::optional<std::pair<int, int>> locate(const FaceImage& output, const FaceImage& face) {
  for (int top = 0; top + face.height <= output.height; ++top) {
    for (int left = 0; left + face.width <= output.width; ++left) {
      // Every eighth pixel each way first; almost every place fails within a few.
      int wrong = 0;
      for (int y = 0; y < face.height && wrong < 20; y += 8) {
        for (int x = 0; x < face.width && wrong < 20; x += 8) {
          if (output.at(left + x, top + y) != face.at(x, y)) ++wrong;
        }
      }
      if (wrong < 20) return std::pair{left, top};
    }
  }
  return std::nullopt;
}

FaceImage cut(const FaceImage& image, int left, int top, int width, int height) {
  FaceImage part;
  part.width = width;
  part.height = height;
  for (int y = top; y < top + height; ++y) {
    for (int x = left; x < left + width; ++x) part.pixels.push_back(image.at(x, y));
  }
  return part;
}

// The last frame the companion wrote with --frames into folder; empty when there is none.
FaceImage lastFrameIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> written;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    written.push_back(entry.path());
  }
  if (written.empty()) return {};
  return FaceImage::readPng(std::max_element(written.begin(), written.end())->string());
}

// Every line of the recording is a whole JSON object, the last one ended too.
void expectWholeRecording(const std::string& path) {
  std::ifstream file(path);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(nlohmann::json::accept(line)) << line;
  }
}

TEST(WestonExecutable, AHeadlessWestonHasNoSeatAndTheCompanionSaysSoInOneLineAndEndsCleanly) {
  Weston weston;
  ASSERT_TRUE(weston.ready()) << weston.log();
  TempFolder folder;
  const std::string link = (folder.path() / "link.sock").string();
  ChildProcess watch(DUNVEL_WATCH_PATH, {"--link", link}, weston.clientEnvironment());
  // Handed to SDL 2.26's Wayland driver, this compositor was a SIGSEGV (status -1 here).
  EXPECT_EQ(watch.exitStatus(), 1) << watch.output();
  EXPECT_NE(watch.output().find("dunvel-watch: cannot open a window: the Wayland compositor at "
                                "WAYLAND_DISPLAY=wl-test offers no seat"),
            std::string::npos)
      << watch.output();
  EXPECT_FALSE(std::filesystem::exists(link));
}

TEST(WestonExecutable, TheWindowShowsThePreviewTakesATapAndTheWheelAndEndsOnEscape) {
  XvfbDisplay x;
  ASSERT_FALSE(x.name().empty());
  Weston weston(&x);
  ASSERT_TRUE(weston.ready()) << weston.log();
  // Weston's window, by its class (its title is in _NET_WM_NAME only).
  ChildProcess search("/usr/bin/xdotool", {"search", "--class", "^weston"}, onDisplay(x));
  ASSERT_EQ(search.exitStatus(), 0) << search.output() << weston.log();
  const unsigned long output = std::stoul(search.output());
  TempFolder folder;
  const std::string link = (folder.path() / "link.sock").string();
  const std::string answer = write(folder, "answer.json", kAnswer);
  const std::string board = write(folder, "board.json", boardOfTwenty("فريق 10"));
  const auto frames = folder.path() / "frames";
  // SDL 2.26's Wayland driver leaves allocations of its own and of its decoration plugin
  // (libdecor's, which SDL_Quit unloads: they can only be put down to an unknown module) at
  // the end, so in a sanitizer build this run is not checked for leaks. The X11 runs of the
  // same code are, and WaylandShmFramesTest checks the frames' own objects.
  const char* sanitizer = std::getenv("LSAN_OPTIONS");
  std::vector<std::string> environment = weston.clientEnvironment();
  environment.push_back("LSAN_OPTIONS=" + std::string(sanitizer != nullptr ? sanitizer : "") +
                        ":detect_leaks=0");
  ChildProcess watch(DUNVEL_WATCH_PATH, {"--link", link, "--frames", frames.string()}, environment);
  ASSERT_TRUE(watch.waitForOutput("listening on")) << watch.output();
  run(DUNVEL_HOST_PATH, {"push", answer, "--link", link});

  // The frame the compositor shows is the preview's, pixel for pixel.
  const FaceImage expected = preview(answer);
  std::optional<std::pair<int, int>> at;
  ASSERT_TRUE(eventually([&] { return (at = locate(x.capture(output), expected)).has_value(); }))
      << watch.output();
  const auto [left, top] = *at;
  EXPECT_LT(
      differingShare(cut(x.capture(output), left, top, expected.width, expected.height), expected),
      kTolerance);

  // A tap on an award control reaches the host.
  ChildProcess listen(DUNVEL_HOST_PATH, {"listen", "--link", link});
  ASSERT_TRUE(eventually([&] { return connectedTo(link); })) << listen.output();
  const auto [awardX, awardY] = buttonCentre(answer, "الصقور");
  const std::string id = std::to_string(output);
  // The pointer leaves Weston's window (to the X screen's corner) and comes back: Weston takes
  // the pointer in at that entry, and a click before any entry reaches no window. The button
  // is held a moment, so that its pressed look is a frame of its own.
  xdotool(x, {"mousemove", "639", "639", "sleep", "0.2", "mousemove", "--window", id,
              std::to_string(left + std::stoi(awardX)), std::to_string(top + std::stoi(awardY)),
              "sleep", "0.3", "mousedown", "1", "sleep", "0.3", "mouseup", "1"});
  ASSERT_TRUE(listen.waitForOutput("{\"action\":\"award\",\"teamId\":\"t1\"}\n"))
      << listen.output() << watch.output();
  listen.signal(SIGINT);
  EXPECT_EQ(listen.exitStatus(), 0);
  // The tap's frames (the control pressed, let go, the haptic ring, its end) each change other
  // parts of the face, and each goes to the compositor in a buffer that may have missed the
  // ones before: once they are over, the whole face is the last frame painted, time band too.
  auto wholeFace = [&] {
    return cut(x.capture(output), left, top, expected.width, expected.height);
  };
  double share = 1.0;
  EXPECT_TRUE(eventually([&] {
    return (share = differingShare(wholeFace(), lastFrameIn(frames))) < kTolerance;
  })) << share;

  // Three detents of the wheel move a long board up three lines (144 pixels).
  run(DUNVEL_HOST_PATH, {"push", board, "--link", link});
  const FaceImage boardTop = preview(board);
  auto shownFace = [&] {
    return cut(x.capture(output), left, top, boardTop.width, boardTop.height);
  };
  ASSERT_TRUE(eventually([&] { return differingShare(shownFace(), boardTop) < kTolerance; }));
  // Compared inside the scroll view, away from the indicator and the display's corners.
  const nlohmann::json layout = layoutOf(board);
  const nlohmann::json* view =
      findIn(layout, [](const nlohmann::json& element) { return isKind(element, "scrollView"); });
  ASSERT_NE(view, nullptr);
  const double viewTop = (*view)["frame"]["y"].get<double>();
  const double viewBottom = viewTop + (*view)["frame"]["height"].get<double>();
  const PixelRegion inside{60, static_cast<int>(viewTop * 2), 336,
                           static_cast<int>(viewBottom * 2) - 144};
  xdotool(x, {"mousemove", "--window", id, std::to_string(left + 198), std::to_string(top + 240),
              "click", "--repeat", "3", "--delay", "30", "5"});
  EXPECT_TRUE(eventually([&] {
    return (share = differingShare(shownFace(), boardTop, inside, 144)) < kTolerance;
  })) << share;
  EXPECT_TRUE(eventually([&] {
    return (share = differingShare(wholeFace(), lastFrameIn(frames))) < kTolerance;
  })) << share;

  xdotool(x, {"key", "Escape"});
  EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  EXPECT_FALSE(std::filesystem::exists(link));
}

// The display goes away under a running companion, the X server or the Wayland compositor: it
// ends as on Ctrl-C, with status 0 (not Xlib's 1), no socket left and the recording whole.
TEST(LostDisplay, KillingTheXServerOrTheCompositorEndsTheCompanionAsCtrlCDoes) {
  for (const bool wayland : {false, true}) {
    SCOPED_TRACE(wayland ? "Weston killed" : "Xvfb killed");
    XvfbDisplay x;
    ASSERT_FALSE(x.name().empty());
    std::optional<Weston> weston;
    if (wayland) {
      weston.emplace(&x);
      ASSERT_TRUE(weston->ready()) << weston->log();
    }
    TempFolder folder;
    const std::string link = (folder.path() / "link.sock").string();
    const std::string recording = (folder.path() / "night.jsonl").string();
    const std::string board = write(folder, "board.json", kBoard);
    ChildProcess watch(DUNVEL_WATCH_PATH, {"--link", link, "--record", recording},
                       wayland ? weston->clientEnvironment() : onDisplay(x));
    ASSERT_TRUE(watch.waitForOutput("listening on")) << watch.output();
    run(DUNVEL_HOST_PATH, {"push", board, "--link", link});
    ASSERT_TRUE(watch.waitForOutput("screen scoreboard")) << watch.output();
    if (wayland) {
      weston->kill();
    } else {
      x.kill();
    }
    EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
    EXPECT_NE(watch.output().find(wayland ? "the display went away (WAYLAND_DISPLAY=wl-test)"
                                          : "the display went away (DISPLAY=" + x.name()),
              std::string::npos)
        << watch.output();
    EXPECT_FALSE(std::filesystem::exists(link));
    expectWholeRecording(recording);
  }
}

// The band's time paints a frame of its own at each turn of the minute, so a test counting frames
// starts where the next turn is further off than the test runs (it waits for the turn otherwise).
void awayFromTheMinuteTurn() {
  using namespace std::chrono;
  constexpr seconds kMargin{15};
  const seconds intoMinute = duration_cast<seconds>(system_clock::now().time_since_epoch()) % 60;
  if (intoMinute >= seconds{60} - kMargin) std::this_thread::sleep_for(seconds{61} - intoMinute);
}

TEST(HeadlessExecutable, FramesAreThePreviewsOfWhatChangedAndNothingElse) {
  awayFromTheMinuteTurn();
  TempFolder folder;
  const std::string link = (folder.path() / "link.sock").string();
  const auto frames = folder.path() / "frames";
  const std::string board = write(folder, "board.json", kBoard);
  const std::string tournament = write(folder, "tournament.json", kTournament);
  ChildProcess watch(DUNVEL_WATCH_PATH,
                     {"--headless", "--link", link, "--frames", frames.string()});
  ASSERT_TRUE(watch.waitForOutput("listening on")) << watch.output();

  auto frame = [&](int number) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06d.png", number);
    return FaceImage::readPng((frames / name).string());
  };
  // The first frames are the idle screen (without, and perhaps with, a host reachable).
  run(DUNVEL_HOST_PATH, {"push", board, "--link", link});
  const FaceImage boardPreview = preview(board);
  int boardFrame = 0;
  ASSERT_TRUE(eventually([&] {
    for (int n = 1; n <= 4 && boardFrame == 0; ++n) {
      const FaceImage shown = frame(n);
      if (!shown.empty() && differingShare(shown, boardPreview) < kTolerance) boardFrame = n;
    }
    return boardFrame != 0;
  }));
  // The same snapshot again, and a host coming and going, change nothing shown: no frame.
  run(DUNVEL_HOST_PATH, {"push", board, "--link", link});
  run(DUNVEL_HOST_PATH, {"push", tournament, "--link", link});
  const FaceImage tournamentPreview = preview(tournament);
  EXPECT_TRUE(eventually([&] {
    const FaceImage next = frame(boardFrame + 1);
    return !next.empty() && differingShare(next, tournamentPreview) < kTolerance;
  }));
  watch.signal(SIGINT);
  EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  EXPECT_TRUE(frame(boardFrame + 2).empty());
}

// --size takes every case the renderer knows, and the face painted is that case's display:
// its size in points at --scale pixels a point.
TEST(HeadlessExecutable, EveryCaseIsPaintedAtItsOwnSize) {
  for (const FaceSize size : kAllFaceSizes) {
    const std::string name(faceSizeName(size));
    SCOPED_TRACE(name);
    TempFolder folder;
    const std::string link = (folder.path() / "link.sock").string();
    const auto frames = folder.path() / "frames";
    ChildProcess watch(DUNVEL_WATCH_PATH, {"--headless", "--link", link, "--frames",
                                           frames.string(), "--size", name, "--scale", "1"});
    ASSERT_TRUE(watch.waitForOutput("listening on")) << watch.output();
    FaceImage first;
    EXPECT_TRUE(eventually([&] {
      first = FaceImage::readPng((frames / "frame-000001.png").string());
      return !first.empty();
    }));
    const Size points = faceMetrics(size).size;
    EXPECT_EQ(first.width, static_cast<int>(points.width));
    EXPECT_EQ(first.height, static_cast<int>(points.height));
    watch.signal(SIGINT);
    EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  }
}

TEST(HeadlessExecutable, ADisplayThatCannotBeReachedIsAOneLineErrorAndLeavesNoSocket) {
  TempFolder folder;
  const std::string link = (folder.path() / "link.sock").string();
  ChildProcess watch(DUNVEL_WATCH_PATH, {"--link", link}, {"DISPLAY=:65000", "WAYLAND_DISPLAY="});
  EXPECT_EQ(watch.exitStatus(), 1);
  EXPECT_NE(watch.output().find("dunvel-watch: cannot open a window on DISPLAY=:65000: "),
            std::string::npos)
      << watch.output();
  EXPECT_FALSE(std::filesystem::exists(link));
}

}  // namespace
}  // namespace dunvel
