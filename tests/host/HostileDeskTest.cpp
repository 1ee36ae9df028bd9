// The tools as a hostile or careless user runs them: numbers that are not numbers, endless
// inputs, NUL bytes, two recorders on one file, outputs that cannot be written, peers that never
// answer, signals, symlinks. Each program runs under `timeout -s KILL`, so a hang fails the test
// (status 137) instead of stalling it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/PushLine.h"
#include "platform/link/ChildProcess.h"
#include "platform/link/LinkTestSupport.h"
#include "platform/link/TestCompanion.h"
#include "wire/LinkFrame.h"

namespace dunvel {
namespace {

using testing::TempFolder;
namespace fs = std::filesystem;

constexpr const char* kLimit = "20";  // seconds any one program may take

// Under ThreadSanitizer: Pango matches fonts on a thread of its own, and the sanitizer cannot see
// the locks inside the uninstrumented libraries that thread runs in (fontconfig, GLib), so it
// takes their own accesses for races. Those are left to their makers; ours are still checked.
std::vector<std::string> environment() {
  const char* inherited = std::getenv("TSAN_OPTIONS");
  std::string options =
      inherited != nullptr && *inherited != '\0' ? inherited + std::string(":") : "";
  return {"TSAN_OPTIONS=" + options + "ignore_noninstrumented_modules=1"};
}

class Program : public testing::ChildProcess {
 public:
  Program(const std::string& program, std::vector<std::string> arguments)
      : ChildProcess("/usr/bin/timeout", withTimeout(program, std::move(arguments)),
                     environment()) {}

 private:
  static std::vector<std::string> withTimeout(const std::string& program,
                                              std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"-s", "KILL", kLimit, program});
    return arguments;
  }
};

// A shell command line, run under the same time limit; $WATCH, $HOST and $PREVIEW name the tools.
class Shell : public testing::ChildProcess {
 public:
  explicit Shell(const std::string& script)
      : ChildProcess("/usr/bin/timeout", {"-s", "KILL", kLimit, "/bin/sh", "-c", script},
                     withTools(environment())) {}

 private:
  static std::vector<std::string> withTools(std::vector<std::string> names) {
    names.push_back(std::string("WATCH=") + DUNVEL_WATCH_PATH);
    names.push_back(std::string("HOST=") + DUNVEL_HOST_PATH);
    names.push_back(std::string("PREVIEW=") + DUNVEL_PREVIEW_PATH);
    return names;
  }
};

std::size_t lineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string q(const fs::path& path) {
  return "'" + path.string() + "'";
}

TEST(HostileDesk, NumberOptionsRefuseNanInfinitiesAndJunkAsBadUsageNamingTheOption) {
  TempFolder folder;
  const std::string link = (folder.path() / "link.sock").string();
  const std::string png = (folder.path() / "out.png").string();
  const std::string night = (folder.path() / "night.jsonl").string();
  writeFile(night, "");
  struct Case {
    const char* program;
    std::vector<std::string> arguments;
    const char* option;
  };
  const std::vector<Case> cases = {
      {DUNVEL_WATCH_PATH, {"--headless", "--link", link, "--scale", "nan"}, "--scale"},
      {DUNVEL_WATCH_PATH,
       {"--headless", "--link", link, "--frames", folder.path().string(), "--scale", "NaN"},
       "--scale"},
      {DUNVEL_WATCH_PATH, {"--headless", "--link", link, "--scale", "2x"}, "--scale"},
      {DUNVEL_PREVIEW_PATH,
       {"png", EXAMPLES "/board.json", "-o", png, "--scale", "nan"},
       "--scale"},
      {DUNVEL_PREVIEW_PATH, {"png", EXAMPLES "/board.json", "-o", png, "--now", "inf"}, "--now"},
      {DUNVEL_PREVIEW_PATH, {"tree", EXAMPLES "/board.json", "--now", "-nan"}, "--now"},
      {DUNVEL_PREVIEW_PATH, {"replay", night, "--tolerance", "1e999"}, "--tolerance"},
      {DUNVEL_PREVIEW_PATH, {"film", night, "-o", png, "--scale", "infinity"}, "--scale"},
      {DUNVEL_HOST_PATH, {"replay", night, "--speed", "nan", "--link", link}, "--speed"},
      {DUNVEL_HOST_PATH, {"replay", night, "--from", "5ms", "--link", link}, "--from"},
      {DUNVEL_HOST_PATH, {"push", night, "--timeout", "nan", "--link", link}, "--timeout"},
  };
  for (const Case& c : cases) {
    Program run(c.program, c.arguments);
    const int status = run.exitStatus();
    const std::string& said = run.output();
    EXPECT_EQ(status, 2) << c.option << ": " << said;
    EXPECT_EQ(lineCount(said), 1u) << said;
    EXPECT_NE(said.find(c.option), std::string::npos) << said;
    EXPECT_EQ(said.find("listening"), std::string::npos) << said;
  }
  EXPECT_FALSE(fs::exists(link)) << "no socket left behind";
  EXPECT_FALSE(fs::exists(png));
}

TEST(HostileDesk, SighupEndsTheCompanionCleanlyLikeSigterm) {
  TempFolder folder;
  const auto link = folder.path() / "link.sock";
  Program watch(DUNVEL_WATCH_PATH, {"--headless", "--link", link.string()});
  ASSERT_TRUE(watch.waitForOutput("listening on")) << watch.output();
  watch.signal(SIGHUP);
  EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  EXPECT_FALSE(fs::exists(link)) << "the socket is removed";
}

TEST(HostileDesk, EndlessInputsAreReadOnlyUpToTheirLimit) {
  TempFolder folder;
  const auto link = folder.path() / "link.sock";
  testing::TestCompanion companion(link);
  ASSERT_EQ(companion.listenProblem, "");

  Program push(DUNVEL_HOST_PATH, {"push", "/dev/zero", "--link", link.string()});
  EXPECT_EQ(push.exitStatus(), 1) << push.output();
  EXPECT_NE(push.output().find("larger than"), std::string::npos) << push.output();

  Shell pushStdin("exec \"$HOST\" push - --link " + q(link) + " < /dev/zero");
  EXPECT_EQ(pushStdin.exitStatus(), 1) << pushStdin.output();

  // A line of NUL bytes that never ends is no recording.
  Program replay(DUNVEL_HOST_PATH,
                 {"replay", "/dev/zero", "--speed", "0", "--link", link.string()});
  EXPECT_EQ(replay.exitStatus(), 1) << replay.output();
  Program preview(DUNVEL_PREVIEW_PATH, {"replay", "/dev/zero"});
  EXPECT_EQ(preview.exitStatus(), 1) << preview.output();
}

TEST(HostileDesk, ALineWithANulIsRefusedAndNeverRecorded) {
  TempFolder folder;
  const auto link = folder.path() / "link.sock";
  const auto night = folder.path() / "night.jsonl";
  const std::string withNul = std::string(R"({"type":"context","payload":{"screen":"board"}})") +
                              std::string(1, '\0') + "junk";
  {
    Program watch(DUNVEL_WATCH_PATH,
                  {"--headless", "--link", link.string(), "--record", night.string()});
    ASSERT_TRUE(watch.waitForOutput("listening on")) << watch.output();
    // Whitespace after the object is fine.
    EXPECT_EQ(pushLine(link, R"({"type":"context","payload":{"screen":"board"}} )"
                             "\n"),
              "");
    const std::string refused = pushLine(link, withNul + "\n");
    EXPECT_NE(refused.find("NUL"), std::string::npos) << refused;
    const std::string junk = pushLine(link, R"({"type":"context","payload":{}} x)"
                                            "\n");
    EXPECT_NE(junk.find("refused"), std::string::npos) << junk;
    watch.signal(SIGTERM);
    EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  }
  EXPECT_EQ(readAll(night).find('\0'), std::string::npos);
  Program replay(DUNVEL_PREVIEW_PATH, {"replay", night.string()});
  EXPECT_EQ(replay.exitStatus(), 0) << replay.output();

  const auto file = folder.path() / "nul.json";
  writeFile(file, std::string(R"({"screen":"board"})") + std::string(1, '\0') + "junk");
  Program state(DUNVEL_PREVIEW_PATH, {"state", file.string()});
  EXPECT_EQ(state.exitStatus(), 1) << state.output();
  EXPECT_NE(state.output().find("NUL"), std::string::npos) << state.output();
  Program push(DUNVEL_HOST_PATH, {"push", file.string(), "--link", link.string()});
  EXPECT_EQ(push.exitStatus(), 1) << push.output();
  EXPECT_NE(push.output().find("NUL"), std::string::npos) << push.output();
}

TEST(HostileDesk, OneRecorderPerFileAndNoFifoOrDeviceAsARecording) {
  TempFolder folder;
  const auto night = folder.path() / "night.jsonl";
  const auto first = folder.path() / "first.sock";
  const auto second = folder.path() / "second.sock";
  Program recorder(DUNVEL_WATCH_PATH,
                   {"--headless", "--link", first.string(), "--record", night.string()});
  ASSERT_TRUE(recorder.waitForOutput("recording to")) << recorder.output();

  Program another(DUNVEL_WATCH_PATH,
                  {"--headless", "--link", second.string(), "--record", night.string()});
  EXPECT_EQ(another.exitStatus(), 1) << another.output();
  EXPECT_EQ(lineCount(another.output()), 1u) << another.output();
  EXPECT_EQ(another.output().find("listening"), std::string::npos) << another.output();
  EXPECT_NE(another.output().find(night.string()), std::string::npos) << another.output();
  EXPECT_FALSE(fs::exists(second)) << "its socket is gone with it";

  EXPECT_EQ(pushLine(first, LinkFrame::contextLine({{"screen", "board"}})), "");
  recorder.signal(SIGTERM);
  EXPECT_EQ(recorder.exitStatus(), 0) << recorder.output();
  Program replay(DUNVEL_PREVIEW_PATH, {"replay", night.string()});
  EXPECT_EQ(replay.exitStatus(), 0) << replay.output();
  EXPECT_NE(replay.output().find("(1 recording,"), std::string::npos) << replay.output();

  const auto fifo = folder.path() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& target : {fifo.string(), std::string("/dev/null")}) {
    Program refused(DUNVEL_WATCH_PATH,
                    {"--headless", "--link", second.string(), "--record", target});
    EXPECT_EQ(refused.exitStatus(), 1) << refused.output();
    EXPECT_EQ(lineCount(refused.output()), 1u) << refused.output();
    EXPECT_EQ(refused.output().find("listening"), std::string::npos) << refused.output();
  }
}

TEST(HostileDesk, AnOutputThatCannotBeWrittenFailsTheTool) {
  TempFolder folder;
  const auto night = folder.path() / "night.jsonl";
  writeFile(night, R"({"t":0,"wall":"2020-01-01T00:00:00.000000Z","event":"start"})"
                   "\n"
                   R"({"t":1,"wall":"","event":"screen","screen":"idle",)"
                   R"("shows":"idle: Dunvel | افتح التطبيق على الآيفون"})"
                   "\n"
                   R"({"t":5,"wall":"","event":"frame","frame":{"type":"context","payload":)"
                   R"({"screen":"board"}}})"
                   "\n"
                   R"({"t":6,"wall":"","event":"screen","screen":"scoreboard",)"
                   R"("shows":"scoreboard:"})"
                   "\n");
  const std::string board = EXAMPLES "/board.json";
  for (const std::string& command : {"state " + board, "tree " + board, "replay " + q(night),
                                     "film " + q(night) + " -o " + q(folder.path() / "film")}) {
    Shell full("exec \"$PREVIEW\" " + command + " > /dev/full");
    EXPECT_EQ(full.exitStatus(), 1) << command << ": " << full.output();
    EXPECT_NE(full.output().find("No space left on device"), std::string::npos)
        << command << ": " << full.output();
  }

  const auto link = folder.path() / "link.sock";
  testing::TestCompanion companion(link);
  ASSERT_EQ(companion.listenProblem, "");
  {
    Shell listen("exec \"$HOST\" listen --link " + q(link) + " > /dev/full");
    companion.delegate.waitForEvents(2);
    companion.session.sendMessage({{"action", "reveal"}});
    EXPECT_EQ(listen.exitStatus(), 1) << listen.output();
    EXPECT_NE(listen.output().find("No space left on device"), std::string::npos)
        << listen.output();
  }
  // A reader that goes away ends listen, which lets go of the link.
  const auto gone = [&] {
    for (int i = 0; i < 200 && companion.session.isReachable(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return !companion.session.isReachable();
  };
  ASSERT_TRUE(gone());
  Shell head("\"$HOST\" listen --link " + q(link) + " | head -n 1");
  for (int i = 0; i < 200 && !companion.session.isReachable(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(companion.session.isReachable());
  companion.session.sendMessage({{"action", "noAnswer"}});
  EXPECT_TRUE(head.waitForOutput("noAnswer")) << head.output();
  EXPECT_TRUE(gone()) << "listen let go of the link once its reader went away";
  EXPECT_EQ(head.exitStatus(), 0);
}

TEST(HostileDesk, APeerThatNeverAnswersIsGivenUpAfterTheTimeout) {
  TempFolder folder;
  const auto path = folder.path() / "stuck.sock";
  // A socket that listens but never accepts; its one-place backlog is already taken.
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  std::vector<int> waiting;
  for (int i = 0; i < 3; ++i) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    waiting.push_back(fd);
  }

  const auto started = std::chrono::steady_clock::now();
  Program push(DUNVEL_HOST_PATH,
               {"push", EXAMPLES "/board.json", "--link", path.string(), "--timeout", "1"});
  EXPECT_EQ(push.exitStatus(), 1) << push.output();
  EXPECT_EQ(lineCount(push.output()), 1u) << push.output();
  // The full queue is asked again until the time is up, not taken for a companion that is gone.
  EXPECT_NE(push.output().find("took no connection within 1 s (--timeout)"), std::string::npos)
      << push.output();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

  for (int fd : waiting) close(fd);
  close(listener);
}

TEST(HostileDesk, AReplayOfEndlessGarbageEndsOnASignal) {
  TempFolder folder;
  const auto link = folder.path() / "link.sock";
  testing::TestCompanion companion(link);
  ASSERT_EQ(companion.listenProblem, "");
  for (int number : {SIGTERM, SIGINT}) {
    // Random bytes hold a newline every few hundred: an endless stream of unusable lines.
    Program replay(DUNVEL_HOST_PATH, {"replay", "/dev/urandom", "--link", link.string()});
    // Its warnings about the first lines say it is reading.
    ASSERT_TRUE(replay.waitForOutput("/dev/urandom:")) << replay.output();
    replay.signal(number);
    EXPECT_EQ(replay.exitStatus(), 0) << replay.output();
  }
}

// A file that takes writes up to a few kilobytes and then fails them, as a full disk does.
std::string smallDisk(const std::string& command) {
  return "trap '' XFSZ; ulimit -f 8; exec " + command;
}

TEST(HostileDesk, OutputsAreReplacedWholeOrNotAtAll) {
  TempFolder folder;
  const auto picture = folder.path() / "board.png";
  {
    Program first(DUNVEL_PREVIEW_PATH,
                  {"png", EXAMPLES "/idle.json", "-o", picture.string(), "--scale", "0.25"});
    ASSERT_EQ(first.exitStatus(), 0) << first.output();
  }
  const std::string before = readAll(picture);

  Shell full(smallDisk("\"$PREVIEW\" png " EXAMPLES "/board.json -o " + q(picture)));
  EXPECT_EQ(full.exitStatus(), 1) << full.output();
  EXPECT_NE(full.output().find("File too large"), std::string::npos) << full.output();
  EXPECT_NE(full.output().find(picture.string()), std::string::npos) << full.output();
  EXPECT_EQ(readAll(picture), before) << "the old picture is whole";
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    EXPECT_EQ(entry.path(), picture) << "nothing else left behind";
  }

  Program missing(DUNVEL_PREVIEW_PATH,
                  {"png", EXAMPLES "/board.json", "-o", (folder.path() / "no/x.png").string()});
  EXPECT_EQ(missing.exitStatus(), 1);
  EXPECT_NE(missing.output().find("No such file or directory"), std::string::npos)
      << missing.output();
  EXPECT_NE(missing.output().find("no/x.png"), std::string::npos) << missing.output();

  // A symlink at the output path is replaced; what it pointed at is left alone.
  const auto target = folder.path() / "target.txt";
  const auto linked = folder.path() / "linked.png";
  writeFile(target, "keep");
  fs::create_symlink(target, linked);
  Program png(DUNVEL_PREVIEW_PATH, {"png", EXAMPLES "/board.json", "-o", linked.string()});
  EXPECT_EQ(png.exitStatus(), 0) << png.output();
  EXPECT_EQ(readAll(target), "keep");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(linked)));
  EXPECT_EQ(readAll(linked).substr(1, 3), "PNG");

  const auto linkedNight = folder.path() / "linked.jsonl";
  fs::create_symlink(target, linkedNight);
  Program watch(DUNVEL_WATCH_PATH, {"--headless", "--link", (folder.path() / "l.sock").string(),
                                    "--record", linkedNight.string()});
  ASSERT_TRUE(watch.waitForOutput("recording to")) << watch.output();
  watch.signal(SIGTERM);
  EXPECT_EQ(watch.exitStatus(), 0) << watch.output();
  EXPECT_EQ(readAll(target), "keep");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(linkedNight)));

  // Frames that cannot be written leave no empty or partial pictures.
  const auto night = folder.path() / "night.jsonl";
  writeFile(night, R"({"t":0,"wall":"2020-01-01T00:00:00.000000Z","event":"start"})"
                   "\n"
                   R"({"t":5,"wall":"","event":"frame","frame":{"type":"context","payload":)"
                   R"({"screen":"board"}}})"
                   "\n");
  const auto film = folder.path() / "film";
  Shell filmed(smallDisk("\"$PREVIEW\" film " + q(night) + " -o " + q(film)));
  EXPECT_EQ(filmed.exitStatus(), 1) << filmed.output();
  for (const auto& entry : fs::directory_iterator(film)) {
    const std::string written = readAll(entry.path());
    EXPECT_TRUE(written.size() > 12 && written.substr(written.size() - 12, 4) == "IEND")
        << entry.path() << " is not a whole PNG";
  }
}

}  // namespace
}  // namespace dunvel
