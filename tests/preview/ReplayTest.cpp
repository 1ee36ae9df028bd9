#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/DunvelWatchApp.h"
#include "app/HeadlessAppRunner.h"
#include "host/QuizNight.h"
#include "link/ConnectivityStore.h"
#include "platform/link/LinkTestSupport.h"
#include "platform/recording/HapticRecorder.h"
#include "platform/recording/RecordingHooks.h"
#include "platform/recording/RecordingWriter.h"
#include "platform/runloop/ManualRunLoop.h"
#include "preview/FilmCommand.h"
#include "preview/PreviewCommand.h"
#include "preview/ReplaySession.h"
#include "render/Owned.h"
#include "support/PreviewRun.h"

namespace dunvel {
namespace {

using testing::TempFolder;

class SilentHaptics final : public HapticEngine {
 public:
  void playHaptic(HapticType) override {}
};

// Plays the demo quiz night against the real app on a virtual clock and records it the way
// dunvel-watch --record does: the link's traffic and the app's taps, commands, haptics and
// screen changes go through the same hooks. The host answers each command 30 ms later, and the
// controls are tapped as the window taps them: by running the button's action.
class RecordedNight {
 public:
  explicit RecordedNight(const std::filesystem::path& path)
      : loop_(Date{1748808000.125}),
        writer_(
            loop_, [this] { return loop_.uptime(); }, log_),
        traffic_(recordLinkTraffic(loop_, writer_)),
        session_([this](const ContextDictionary& message) {
          traffic_({LinkTraffic::Kind::messageSent, {}, message});
          commands_.push_back(message);
        }),
        haptics_(silent_, writer_),
        runner_(loop_, loop_, loop_, haptics_, quiet_, {}),
        app_(StateObject<ConnectivityStore>([this]() -> ConnectivityStore& {
          store_.emplace(SessionPlatform{[] { return true; },
                                         [this]() -> Session& { return session_; }, &loop_,
                                         recordTaps(writer_)});
          return *store_;
        })),
        night_(loop_.now().timeIntervalSince1970) {
    EXPECT_EQ(writer_.open(path, "test"), "");
    runner_.onScreenChange(
        [this](const ScreenDescription& shown) { writer_.screen(shown.screen, shown.line()); });
    runner_.start(app_);
    session_.completeActivation();
    loop_.drain();
  }

  void connect() {
    traffic_({LinkTraffic::Kind::hostConnected, {}, {}});
    session_.hostConnected();
    loop_.drain();
    push();
  }
  void disconnect() {
    traffic_({LinkTraffic::Kind::hostDisconnected, {}, {}});
    session_.hostDisconnected();
    loop_.drain();
  }
  void background(bool away) { receive(LinkFrame::reachabilityLine(!away)); }

  // Lets seconds pass, the night moving on by itself as it does.
  void wait(double seconds) {
    for (double waited = 0; waited < seconds; waited += 0.25) {
      loop_.advance(0.25);
      if (night_.advance(now())) push();
    }
  }

  // Taps the button that shows the text, then lets the host answer.
  void tap(const std::string& shown) {
    const Element* button = runner_.tree().findButton(shown);
    ASSERT_NE(button, nullptr) << shown;
    button->tap();
    loop_.drain();
    loop_.advance(0.030);
    for (const ContextDictionary& command : commands_) {
      if (night_.handle(command, now())) push();
    }
    commands_.clear();
  }

 private:
  double now() const { return loop_.now().timeIntervalSince1970; }
  void push() { receive(LinkFrame::contextLine(night_.context())); }
  void receive(std::string line) {
    line.pop_back();
    const LinkFrame::Parsed parsed = LinkFrame::parse(line);
    ASSERT_TRUE(parsed.frame) << parsed.problem;
    traffic_({LinkTraffic::Kind::frameReceived, line, {}});
    session_.receive(*parsed.frame);
    loop_.drain();
  }

  ManualRunLoop loop_;
  std::ostringstream log_;
  RecordingWriter writer_;
  std::function<void(const LinkTraffic&)> traffic_;
  ReplaySession session_;
  std::vector<ContextDictionary> commands_;
  std::optional<ConnectivityStore> store_;
  SilentHaptics silent_;
  HapticRecorder haptics_;
  std::ostringstream quiet_;
  HeadlessAppRunner runner_;
  DunvelWatchApp app_;
  QuizNight night_;
};

// A round and a half with every kind of event: taps of all three controls, the one-minute tap, a
// host app in the background and a host that reconnects.
void recordNight(const std::filesystem::path& path) {
  RecordedNight night(path);
  night.connect();
  night.wait(3);
  night.tap("اعرض الإجابة");
  night.wait(2);
  night.tap("النمور");
  night.background(true);
  night.wait(1);
  night.background(false);
  night.wait(5);  // the board gives way to the second question
  night.wait(61);
  night.tap("اعرض الإجابة");
  night.tap("محد جاوب");
  night.disconnect();
  night.wait(2);
  night.connect();
  night.wait(6);
  night.tap("اعرض الإجابة");
  night.wait(1.5);
  night.tap("الصقور");
  night.wait(2);
}

ToolRun replay(const std::filesystem::path& path) {
  return runPreview({"replay", path.string()});
}

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void writeLines(const std::filesystem::path& path, const std::vector<std::string>& lines) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
}

// The 1-based number of the first line holding text.
std::size_t lineWith(const std::vector<std::string>& lines, const std::string& text) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return i + 1;
  }
  ADD_FAILURE() << "no line holds " << text;
  return 0;
}

TEST(Replay, ARecordedNightReplaysToTheSameScreensCommandsAndHaptics) {
  TempFolder folder;
  const auto path = folder.path() / "night.jsonl";
  recordNight(path);
  const std::string recorded = readAll(path);
  for (const char* kind : {R"("event":"tap")", R"("event":"command")", R"("event":"haptic")",
                           R"("type":"reachability")", R"("event":"disconnect")"}) {
    EXPECT_NE(recorded.find(kind), std::string::npos) << "the night records " << kind;
  }

  ToolRun run = replay(path);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("match (1 recording,"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("haptic  notification (0)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(R"(command {"action":"award","teamId":"t2"})"), std::string::npos)
      << run.out;

  // A second recording appended to the same file replays as well, on an app of its own.
  recordNight(path);
  run = replay(path);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("match (2 recordings,"), std::string::npos) << run.out;
}

TEST(Replay, AChangedRecordingReportsItsFirstDifferenceByLine) {
  TempFolder folder;
  const auto path = folder.path() / "night.jsonl";
  recordNight(path);
  const std::vector<std::string> lines = linesOf(readAll(path));

  struct Change {
    std::string find;
    std::string replace;  // empty: the line is removed
    std::string says;
  };
  const std::vector<Change> changes = {
      {R"("message":{"action":"award","teamId":"t2"})",
       R"("message":{"action":"award","teamId":"t3"})",
       R"(the replay has command "{"action":"award","teamId":"t2"}")"},
      {R"("shows":"scoreboard:)", R"("shows":"scoreboard: X)", "the replay has screen"},
      {R"("event":"haptic","haptic":"notification")", "", "which the recording does not have"},
      {R"("control":"award","teamId":"t2")", R"("control":"award","teamId":"t9")",
       "the recording taps award (team t9)"},
  };
  for (const Change& change : changes) {
    std::vector<std::string> changed = lines;
    const std::size_t at = lineWith(changed, change.find);
    ASSERT_GT(at, 0u);
    std::string& line = changed[at - 1];
    if (change.replace.empty()) {
      changed.erase(changed.begin() + static_cast<std::ptrdiff_t>(at - 1));
    } else {
      line.replace(line.find(change.find), change.find.size(), change.replace);
    }
    writeLines(path, changed);
    const ToolRun run = replay(path);
    EXPECT_EQ(run.exitCode, 1) << change.find;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_NE(run.err.find(change.says), std::string::npos) << run.err;
    if (!change.replace.empty()) {
      EXPECT_NE(run.err.find(path.string() + ":" + std::to_string(at) + ": differs"),
                std::string::npos)
          << run.err;
    }
  }
}

TEST(Replay, AQuestionClockOneSecondApartStillMatchesAndTwoDoNot) {
  TempFolder folder;
  const auto path = folder.path() / "night.jsonl";
  recordNight(path);
  const std::vector<std::string> lines = linesOf(readAll(path));
  const std::size_t at = lineWith(lines, R"("shows":"answer: 0:0)");
  ASSERT_GT(at, 0u);
  for (const int shift : {1, 2}) {
    std::vector<std::string> changed = lines;
    std::string& line = changed[at - 1];
    const std::size_t digit = line.find(R"("shows":"answer: 0:0)") + 20;
    line[digit] = static_cast<char>(line[digit] + shift);
    writeLines(path, changed);
    EXPECT_EQ(replay(path).exitCode, shift == 1 ? 0 : 1) << line;
  }
}

TEST(Replay, AScreenBetweenInputsTakenTogetherMayBeRecordedOrNotButMustBeOneTheAppShows) {
  TempFolder folder;
  const auto path = folder.path() / "night.jsonl";
  recordNight(path);
  const std::vector<std::string> lines = linesOf(readAll(path));
  // connect, the "waiting" idle screen, the first snapshot, the question screen.
  const std::size_t connect = lineWith(lines, R"("event":"connect")");
  ASSERT_GT(connect, 0u);
  ASSERT_NE(lines[connect].find(R"("shows":"idle: Dunvel | بانتظار بدء اللعب…")"),
            std::string::npos);
  ASSERT_NE(lines[connect + 1].find(R"("event":"frame")"), std::string::npos);

  // The link wrote the snapshot before the main thread showed the screen of the connection.
  std::vector<std::string> late = lines;
  std::swap(late[connect], late[connect + 1]);
  writeLines(path, late);
  EXPECT_EQ(replay(path).exitCode, 0);
  // The main thread took both in one go: no screen in between.
  std::vector<std::string> together = lines;
  together.erase(together.begin() + static_cast<std::ptrdiff_t>(connect));
  writeLines(path, together);
  EXPECT_EQ(replay(path).exitCode, 0);
  // A screen in between that the app never shows there is a difference.
  std::string& wrong = late[connect + 1];
  wrong.replace(wrong.find("بانتظار بدء اللعب…"), std::string("بانتظار بدء اللعب…").size(),
                "افتح التطبيق على الآيفون");
  writeLines(path, late);
  EXPECT_EQ(replay(path).exitCode, 1);
}

TEST(Replay, ALastLineCutShortIsSkippedWithAWarningAndAnyOtherBadLineFailsTheReplay) {
  TempFolder folder;
  const auto path = folder.path() / "night.jsonl";
  recordNight(path);
  std::string text = readAll(path);
  const std::size_t lines = linesOf(text).size();
  // The companion was killed in the middle of writing its last line.
  text.resize(text.size() - 20);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;

  const ToolRun run = replay(path);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "dunvel-preview: " + path.string() + ":" + std::to_string(lines) +
                         ": cut short (the recording ends in the middle of this line): skipped\n");
  EXPECT_NE(run.out.find(": match (1 recording,"), std::string::npos) << run.out;

  // A line that cannot be used in the middle is skipped as well, but then the comparison is not
  // whole.
  std::vector<std::string> spoilt = linesOf(text);
  spoilt.pop_back();
  spoilt.insert(spoilt.begin() + 3, R"({"t":0,"wall":"","event":"dance"})");
  writeLines(path, spoilt);
  const ToolRun incomplete = replay(path);
  EXPECT_EQ(incomplete.exitCode, 1) << incomplete.out;
  EXPECT_NE(incomplete.err.find(path.string() + ":4: "), std::string::npos) << incomplete.err;
  EXPECT_NE(incomplete.err.find("1 line was skipped or corrected"), std::string::npos)
      << incomplete.err;
}

struct PngSize {
  int width = 0;
  int height = 0;
};

PngSize pngSize(const std::filesystem::path& path) {
  const Owned<cairo_surface_t> image(cairo_image_surface_create_from_png(path.c_str()));
  PngSize size;
  if (cairo_surface_status(image.get()) == CAIRO_STATUS_SUCCESS) {
    size = {cairo_image_surface_get_width(image.get()),
            cairo_image_surface_get_height(image.get())};
  }
  return size;
}

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

TEST(Film, DrawsOneFrameForEachSnapshotAndAContactSheetOfThem) {
  TempFolder folder;
  const auto path = folder.path() / "night.jsonl";
  recordNight(path);
  const std::string recorded = readAll(path);
  const std::size_t snapshots =
      countOf(recorded, R"({"type":"context")") + countOf(recorded, R"({"type":"message")");
  ASSERT_GT(snapshots, 5u);

  const auto film = folder.path() / "film";
  const ToolRun run = runPreview({"film", path.string(), "-o", film.string(), "--columns", "4"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(countOf(run.out, ".png  "), snapshots) << run.out;
  for (const char* screen : {"  question: ", "  answer: ", "  scoreboard: "}) {
    EXPECT_NE(run.out.find(screen), std::string::npos) << run.out;
  }
  // The clock of each frame reads the recorded moment: the second question turns red.
  EXPECT_NE(run.out.find("(overtime)"), std::string::npos) << run.out;
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(film)) {
    if (entry.path().filename().string().starts_with("frame-")) ++files;
  }
  EXPECT_EQ(files, snapshots);
  const PngSize last =
      pngSize(film / ("frame-" + std::string(6 - std::to_string(snapshots).size(), '0') +
                      std::to_string(snapshots) + ".png"));
  EXPECT_EQ(last.width, 396);
  EXPECT_EQ(last.height, 484);
  // Four frames of 198 x 242 points a row, 8 pixels apart, each with its label under it.
  const PngSize sheet = pngSize(film / "contact-sheet.png");
  const int rows = static_cast<int>((snapshots + 3) / 4);
  EXPECT_EQ(sheet.width, 8 + 4 * (198 + 8));
  EXPECT_EQ(sheet.height, 8 + rows * (242 + 20 + 8));

  // A recording without a snapshot has nothing to draw.
  writeLines(path, {linesOf(recorded).front()});
  const ToolRun empty = runPreview({"film", path.string(), "-o", film.string()});
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_NE(empty.err.find("holds no snapshot"), std::string::npos) << empty.err;
}

// A recording is read back from a file anyone may have written: its names, its recorder and its
// recorded screens are printed as lines that a terminal shows as written.
TEST(Film, NamesFromARecordingCannotForgeLinesOrControlTheTerminal) {
  TempFolder folder;
  const auto path = folder.path() / "hostile.jsonl";
  const std::string hostile =
      R"(line1\nFAKE: dunvel-watch: stopped\r\u001b[2J\u001b]52;c;aGk=\u0007\u009b)";
  writeLines(
      path,
      {R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start","recorder":")" + hostile + R"("})",
       std::string(R"({"t":1,"wall":"","event":"frame","frame":{"type":"context",)") +
           R"("payload":)" + R"({"screen":"board","gameName":")" + hostile +
           R"(","teams":[{"id":"t","name":")" + hostile + R"(","points":1}]}}})",
       R"({"t":2,"wall":"","event":"screen","screen":"scoreboard","shows":")" + hostile + R"("})"});
  const auto clean = [](const std::string& text) {
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && c != '\n') || byte == 0x7F) return false;
    }
    return text.find("\xc2\x9b") == std::string::npos;
  };
  const ToolRun film = runPreview({"film", path.string(), "-o", (folder.path() / "film").string()});
  EXPECT_EQ(film.exitCode, 0) << film.err;
  EXPECT_TRUE(clean(film.out)) << film.out;
  EXPECT_EQ(countOf(film.out, "\n"), 2u) << film.out;
  EXPECT_NE(film.out.find(R"(line1\nFAKE: dunvel-watch: stopped\r\x1b[2J\x1b]52;c;aGk=\x07\u009b)"),
            std::string::npos)
      << film.out;

  // The replay prints the recording's start line, the screen it produces and the difference
  // from the recorded one: each of them one line, escaped.
  const ToolRun run = replay(path);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_TRUE(clean(run.out)) << run.out;
  EXPECT_TRUE(clean(run.err)) << run.err;
  EXPECT_EQ(countOf(run.err, "\n"), 1u) << run.err;
  EXPECT_NE(run.out.find(R"(by line1\nFAKE)"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("differs"), std::string::npos) << run.err;
}

TEST(Film, ALongNightKeepsItsContactSheetBounded) {
  TempFolder folder;
  const auto path = folder.path() / "long.jsonl";
  std::vector<std::string> lines = {
      R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start","recorder":"test"})"};
  const std::size_t snapshots = 3 * kMaxContactSheetFrames + 7;
  for (std::size_t i = 0; i < snapshots; ++i) {
    lines.push_back(R"({"t":)" + std::to_string(i * 1000) +
                    R"(,"wall":"","event":"frame","frame":{"type":"context","payload":)" +
                    R"({"screen":"scoreboard","teams":[{"id":"t","name":"T)" + std::to_string(i) +
                    R"(","points":1}]}}})");
  }
  writeLines(path, lines);
  const auto film = folder.path() / "film";
  const ToolRun run =
      runPreview({"film", path.string(), "-o", film.string(), "--scale", "0.25", "--columns", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(film / ("frame-000" + std::to_string(snapshots) + ".png")));
  // One column: the sheet's height counts its frames.
  const int shown = (pngSize(film / "contact-sheet.png").height - 8) / (242 + 20 + 8);
  EXPECT_GE(shown, static_cast<int>(kMaxContactSheetFrames / 2));
  EXPECT_LE(shown, static_cast<int>(kMaxContactSheetFrames) + 1);
  EXPECT_NE(run.out.find("the contact sheet shows " + std::to_string(shown) + ":"),
            std::string::npos)
      << run.out;
}

// A night of a million snapshots would write tens of gigabytes: the frames stop at --max-frames
// and the rest are counted.
TEST(Film, FramesStopAtTheLimitAndTheRestAreCounted) {
  TempFolder folder;
  const auto path = folder.path() / "night.jsonl";
  std::vector<std::string> lines = {
      R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start","recorder":"test"})"};
  for (int i = 0; i < 12; ++i) {
    lines.push_back(R"({"t":)" + std::to_string(i * 1000) +
                    R"(,"wall":"","event":"frame","frame":{"type":"context","payload":)" +
                    R"({"screen":"board","gameName":"n)" + std::to_string(i) + R"("}}})");
  }
  writeLines(path, lines);
  const auto film = folder.path() / "film";
  const ToolRun run = runPreview(
      {"film", path.string(), "-o", film.string(), "--scale", "0.25", "--max-frames", "5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(countOf(run.out, ".png  "), 5u) << run.out;
  EXPECT_TRUE(std::filesystem::exists(film / "frame-000005.png"));
  EXPECT_FALSE(std::filesystem::exists(film / "frame-000006.png"));
  EXPECT_EQ(run.err, "dunvel-preview: 7 snapshots after the first 5 left out (--max-frames 5)\n");
  EXPECT_EQ(runPreview({"film", path.string(), "-o", film.string(), "--max-frames", "0"}).exitCode,
            2);
  const ToolRun all = runPreview({"film", path.string(), "-o", film.string(), "--scale", "0.25"});
  EXPECT_EQ(all.err, "");
  EXPECT_EQ(countOf(all.out, ".png  "), 12u);
}

}  // namespace
}  // namespace dunvel
