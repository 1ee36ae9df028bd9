// The soak: the real dunvel-watch, headless or with its window on a private Xvfb display (or under
// Weston, itself in a window on that display, with --wayland), against
// hosts that come and go for a chosen time. In random order: autoplayed quiz nights (dunvel-host
// demo --autoplay) killed with SIGKILL at a random moment, bursts of 10 000 snapshots with
// reachability toggles and garbage lines mixed in (sometimes cut off in the middle of a line),
// quiet spells, and with the window, clicks on the controls (xdotool). Checks at the end:
//   - the companion still runs and answers: a last snapshot sent shows;
//   - its last screen is the last snapshot sent (also checked after every burst);
//   - every garbage line was answered with an error line;
//   - every quiz night's host got through to the companion;
//   - every control clicked sent its command, and it arrived (with the window);
//   - memory is flat: VmRSS at the end within 10% of the first minute's peak.
// With --kill-display the run ends with the display server (Xvfb, or Weston) killed in the middle
// of a quiz night: the companion must end by itself as on Ctrl-C, with status 0 and its socket
// removed.
//
//   dunvel-soak [--seconds N] [--seed S] [--window] [--wayland] [--kill-display] [--watch PATH]
//               [--host PATH]
//
// Prints what it did and the figures; exit status 0 when every check held, 1 otherwise.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "wire/LinkFrame.h"
#include "support/ChildProcess.h"
#include "support/LinkClient.h"
#include "support/ProcessSample.h"
#include "support/TempFolder.h"
#include "support/Xvfb.h"

namespace {

using namespace dunvel;
using namespace dunvel::bench;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kBurst = 10'000;
constexpr const char* kErrorPrefix = R"({"type":"error")";

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string answerLine(const std::string& mode) {
  ContextArray teams;
  for (const char* id : {"t1", "t2", "t3"}) {
    teams.push_back(ContextDictionary{{"id", id}, {"name", id}, {"points", std::int64_t{0}}});
  }
  return LinkFrame::contextLine(ContextDictionary{{"screen", "answer"},
                                                  {"questionPoints", std::int64_t{10}},
                                                  {"questionMode", mode},
                                                  {"questionOpenedAt", wallSeconds()},
                                                  {"teams", teams}});
}

std::string snapshotLine(std::int64_t points, const std::string& mode) {
  return LinkFrame::contextLine(ContextDictionary{{"screen", "question"},
                                                  {"questionPoints", points},
                                                  {"questionMode", mode},
                                                  {"questionOpenedAt", wallSeconds()}});
}

// VmRSS once a second, on a thread of its own.
class MemoryWatch {
 public:
  explicit MemoryWatch(pid_t pid) : thread_([this, pid] { run(pid); }) {}
  ~MemoryWatch() {
    stop_ = true;
    thread_.join();
  }
  std::int64_t firstMinutePeakKiB() const {
    std::lock_guard lock(mutex_);
    return firstMinutePeak_;
  }
  std::int64_t peakKiB() const {
    std::lock_guard lock(mutex_);
    return peak_;
  }

 private:
  void run(pid_t pid) {
    const auto start = Clock::now();
    while (!stop_) {
      const ProcessSample sample = sampleProcess(pid);
      {
        std::lock_guard lock(mutex_);
        peak_ = std::max(peak_, sample.vmRssKiB);
        if (Clock::now() - start <= 60s) firstMinutePeak_ = peak_;
      }
      std::this_thread::sleep_for(1s);
    }
  }

  mutable std::mutex mutex_;
  std::int64_t firstMinutePeak_ = 0;
  std::int64_t peak_ = 0;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

struct Tally {
  int nights = 0;
  int nightsShown = 0;
  int bursts = 0;
  std::int64_t snapshots = 0;
  std::int64_t garbage = 0;
  std::int64_t errorsAnswered = 0;
  std::int64_t reachabilityToggles = 0;
  int cutMidLine = 0;
  int clicks = 0;
  int commandsArrived = 0;
  int failures = 0;
};

class Soak {
 public:
  // With window, the companion shows its window on $DISPLAY, or where environment says (NAME=value
  // entries, "-u NAME" to unset one); windowSearch is what xdotool looks for to click in it, and
  // faceAt where the face's top left corner is in that, in pixels.
  Soak(std::string watch, std::string host, std::filesystem::path link, std::uint64_t seed,
       bool window, std::vector<std::string> environment = {},
       std::string windowSearch = "--name '^Dunvel$'", std::pair<int, int> faceAt = {0, 0})
      : host_(std::move(host)),
        windowSearch_(std::move(windowSearch)),
        faceAt_(faceAt),
        link_(std::move(link)),
        random_(seed),
        companion_(companionCommand(std::move(watch), window, std::move(environment), link_),
                   ChildProcess::Output::read, {"screen "}) {}

  bool started() { return companion_.waitForLine("screen idle", 0, 10s); }
  pid_t companionPid() const { return companion_.pid(); }
  const Tally& tally() const { return tally_; }
  ChildProcess& companion() { return companion_; }

  void fail(const std::string& what) {
    std::cout << "FAILED: " << what << std::endl;
    ++tally_.failures;
  }

  // A quiz night played by the real host until it is killed at a random moment. The host must
  // get through to the companion. A night need not change the screen: one killed on its first
  // question and the next night's first question look the same.
  void night(Clock::time_point deadline) {
    ++tally_.nights;
    const std::uint64_t mark = companion_.linesSeen();
    ChildProcess demo({host_, "demo", "--autoplay", "--link", link_.string()});
    const auto playFor =
        std::chrono::milliseconds(std::uniform_int_distribution<int>(3'000, 30'000)(random_));
    std::this_thread::sleep_until(std::min(deadline, Clock::now() + playFor));
    const bool connected = demo.waitForLine("connected to the companion", 0, 0ms);
    demo.signal(SIGKILL);
    demo.running();
    if (!connected) fail("a quiz night's host did not get through to the companion");
    if (companion_.linesSeen() != mark) ++tally_.nightsShown;
  }

  // 10 000 snapshots with reachability toggles and garbage lines mixed in.
  void burst() {
    const int number = ++tally_.bursts;
    LinkClient client;
    if (!connect(client)) return;
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string marker = "burst " + std::to_string(number) + " end";
    const std::uint64_t mark = companion_.linesSeen();
    std::int64_t garbage = 0;
    std::int64_t answered = 0;
    std::string batch;
    for (std::int64_t i = 1; i <= kBurst; ++i) {
      batch += snapshotLine(i, i == kBurst ? marker : "burst " + std::to_string(number));
      if (percent(random_) == 0) {
        // Bytes of any value but the newline that ends them.
        std::string junk(static_cast<std::size_t>(1 + percent(random_)), ' ');
        for (char& c : junk) {
          const int value = byte(random_);
          c = value == '\n' ? 'x' : static_cast<char>(value);
        }
        if (junk.find_first_not_of(" \t\r") == std::string::npos) junk += 'x';
        batch += junk + "\n";
        ++garbage;
      }
      if (i % 1000 == 500) {
        batch += LinkFrame::reachabilityLine(false) + LinkFrame::reachabilityLine(true);
        tally_.reachabilityToggles += 2;
      }
      if (batch.size() > 128 * 1024 || i == kBurst) {
        if (!client.write(batch)) {
          fail("the companion closed the link in burst " + std::to_string(number));
          return;
        }
        batch.clear();
        answered += static_cast<std::int64_t>(client.drainLines(kErrorPrefix));
      }
    }
    tally_.snapshots += kBurst;
    tally_.garbage += garbage;
    if (!companion_.waitForLine(marker, mark, 120s)) {
      fail("burst " + std::to_string(number) + ": its last snapshot did not show");
    } else if (!lastScreenShows(marker)) {
      fail("burst " + std::to_string(number) + ": a later screen replaced its last snapshot");
    }
    const auto deadline = Clock::now() + 10s;
    while (answered < garbage && Clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
      answered += static_cast<std::int64_t>(client.drainLines(kErrorPrefix));
    }
    tally_.errorsAnswered += answered;
    if (answered != garbage) {
      fail("burst " + std::to_string(number) + ": " + std::to_string(garbage) + " garbage lines, " +
           std::to_string(answered) + " error lines back");
    }
    if (percent(random_) < 30) {
      // Gone in the middle of a line: the companion must forget it, not join it to the next.
      client.write(R"({"type":"context","payload":{"screen":"boa)");
      ++tally_.cutMidLine;
    }
    client.close();
  }

  // A question with its reveal control clicked, then the answer with the second team's award
  // clicked, on the window; each click must arrive at the host as its command.
  void clicks() {
    LinkClient client;
    if (!connect(client)) return;
    const std::string marker = "clicks " + std::to_string(tally_.clicks / 2 + 1);
    struct Step {
      std::string line;
      int x;
      int y;
      std::string command;
    };
    // Face points × 2 pixels: the reveal control and the second team's row.
    const Step steps[] = {
        {snapshotLine(10, marker), 198, 250, R"({"type":"message","payload":{"action":"reveal"}})"},
        {answerLine(marker), 198, 360,
         R"({"type":"message","payload":{"action":"award","teamId":"t2"}})"}};
    for (const Step& step : steps) {
      const std::uint64_t mark = companion_.linesSeen();
      client.write(step.line);
      if (!companion_.waitForLine(marker, mark, 10s)) {
        fail(marker + ": the screen to click did not show");
        return;
      }
      const std::string click = "xdotool mousemove --window " + windowId() + " " +
                                std::to_string(faceAt_.first + step.x) + " " +
                                std::to_string(faceAt_.second + step.y) + " click 1";
      if (std::system(click.c_str()) != 0) {
        fail(marker + ": xdotool could not click");
        return;
      }
      ++tally_.clicks;
      std::size_t arrived = 0;
      for (const auto deadline = Clock::now() + 5s; arrived == 0 && Clock::now() < deadline;) {
        std::this_thread::sleep_for(10ms);
        arrived = client.drainLines(step.command);
      }
      tally_.commandsArrived += static_cast<int>(arrived);
      if (arrived != 1)
        fail(marker + ": clicked, and " + std::to_string(arrived) + " × " + step.command);
    }
    client.close();
  }

  // A quiz night during which the display server is killed: the companion must end by itself,
  // with status 0 and its socket removed, as on Ctrl-C.
  void loseDisplay(const std::function<void()>& killDisplay) {
    ChildProcess demo({host_, "demo", "--autoplay", "--link", link_.string()});
    if (!demo.waitForLine("connected to the companion", 0, 10s)) {
      fail("the last quiz night's host did not get through to the companion");
    }
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(1'000, 5'000)(random_)));
    killDisplay();
    for (const auto deadline = Clock::now() + 10s;
         companion_.running() && Clock::now() < deadline;) {
      std::this_thread::sleep_for(20ms);
    }
    if (companion_.running()) {
      fail("the companion still runs 10 s after its display was killed");
      return;
    }
    const int status = companion_.stop();
    if (status != 0) {
      fail("the companion ended with status " + std::to_string(status) +
           " when its display was killed");
    }
    if (std::filesystem::exists(link_)) fail("the companion left its socket behind");
    if (!companion_.waitForLine("the display went away", 0, 0ms)) {
      fail("the companion did not say that its display went away");
    }
    demo.signal(SIGKILL);
  }

  // The last snapshot: it must show, and stay the last screen.
  void finish() {
    LinkClient client;
    if (!connect(client)) return;
    const std::uint64_t mark = companion_.linesSeen();
    const std::string marker = "soak end";
    client.write(snapshotLine(7, marker));
    tally_.snapshots += 1;
    if (!companion_.waitForLine(marker, mark, 30s)) {
      fail("the companion does not answer: the last snapshot did not show");
      return;
    }
    std::this_thread::sleep_for(2s);
    if (!lastScreenShows(marker)) fail("the last screen is not the last snapshot sent");
    if (!companion_.running()) fail("the companion is not running at the end");
  }

 private:
  bool lastScreenShows(const std::string& marker) {
    return companion_.lastLineStartingWith("screen ").find(marker) != std::string::npos;
  }

  // The companion may still be closing the connection of the host killed a moment ago, and
  // refuses a second host until then.
  bool connect(LinkClient& client) {
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      if (client.connect(link_)) {
        std::this_thread::sleep_for(50ms);
        if (client.drainLines(kErrorPrefix) == 0 && client.write("\n")) return true;
      }
      client.close();
      std::this_thread::sleep_for(100ms);
    }
    fail("cannot connect to the companion");
    return false;
  }

  // The companion's window, found once.
  const std::string& windowId() {
    if (windowId_.empty()) {
      if (FILE* search = popen(("xdotool search --sync " + windowSearch_).c_str(), "r")) {
        char id[64] = {};
        if (fgets(id, sizeof id, search) != nullptr) windowId_ = std::to_string(std::atoll(id));
        pclose(search);
      }
    }
    return windowId_;
  }

  static std::vector<std::string> companionCommand(std::string watch, bool window,
                                                   std::vector<std::string> environment,
                                                   const std::filesystem::path& link) {
    std::vector<std::string> command;
    if (!environment.empty()) {
      command.push_back("/usr/bin/env");
      command.insert(command.end(), environment.begin(), environment.end());
    }
    command.push_back(std::move(watch));
    if (!window) command.push_back("--headless");
    command.insert(command.end(), {"--link", link.string()});
    return command;
  }

  std::string host_;
  std::string windowSearch_;
  std::pair<int, int> faceAt_;
  std::string windowId_;
  std::filesystem::path link_;
  std::mt19937_64 random_;
  ChildProcess companion_;
  Tally tally_;
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = 600;
  std::uint64_t seed = std::random_device{}();
  std::string watch = DUNVEL_WATCH_PATH;
  std::string host = DUNVEL_HOST_PATH;
  bool window = false;
  bool wayland = false;
  bool killDisplay = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--window") {
      window = true;
    } else if (option == "--wayland") {
      window = wayland = true;
    } else if (option == "--kill-display") {
      killDisplay = true;
    } else if (option == "--seconds" && hasValue) {
      seconds = std::stod(argv[++i]);
    } else if (option == "--seed" && hasValue) {
      seed = std::stoull(argv[++i]);
    } else if (option == "--watch" && hasValue) {
      watch = argv[++i];
    } else if (option == "--host" && hasValue) {
      host = argv[++i];
    } else {
      std::cerr << "dunvel-soak: unknown option " << option << '\n';
      return 2;
    }
  }
  if (killDisplay && !window) {
    std::cerr << "dunvel-soak: --kill-display needs --window or --wayland\n";
    return 2;
  }
  const TempFolder folder;
  std::optional<Xvfb> display;
  if (window) {
    display = Xvfb::start();
    if (!display) {
      std::cerr << "dunvel-soak: cannot start Xvfb for --window\n";
      return 1;
    }
    setenv("DISPLAY", display->name().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
  }
  // Weston in a window on the Xvfb display: its X11 backend is the one with a seat (the X
  // server's pointer and keyboard, which xdotool drives); its kiosk shell puts the companion's
  // window (396×484, the default face) in the middle of its 640×640 output. The companion sees
  // Weston alone.
  const std::filesystem::path runtime = folder.path() / "runtime";
  std::unique_ptr<ChildProcess> weston;
  std::vector<std::string> environment;
  if (wayland) {
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    weston = std::make_unique<ChildProcess>(
        std::vector<std::string>{
            "/usr/bin/env", "-u", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR=" + runtime.string(),
            "/usr/bin/weston", "--backend=x11-backend.so", "--shell=kiosk-shell.so", "--use-pixman",
            "--width=640", "--height=640", "--socket=wl-soak", "--idle-time=0", "--no-config"},
        ChildProcess::Output::discard);
    const std::string ready = "XDG_RUNTIME_DIR=" + runtime.string() +
                              " WAYLAND_DISPLAY=wl-soak weston-info 2>/dev/null | grep -q "
                              "xdg_wm_base";
    bool up = false;
    for (int i = 0; i < 100 && !up && weston->running(); ++i) {
      up = std::system(ready.c_str()) == 0;
      if (!up) std::this_thread::sleep_for(100ms);
    }
    if (!up) {
      std::cerr << "dunvel-soak: cannot start Weston for --wayland\n";
      return 1;
    }
    environment = {"-u", "DISPLAY", "WAYLAND_DISPLAY=wl-soak",
                   "XDG_RUNTIME_DIR=" + runtime.string()};
  }
  std::cout << "dunvel-soak: " << seconds << " s, seed " << seed
            << (wayland  ? ", with the window under Weston"
                : window ? ", with the window"
                         : ", headless")
            << (killDisplay ? ", the display killed at the end" : "") << std::endl;

  int failures = 0;
  {
    Soak soak(watch, host, folder.path() / "link.sock", seed, window, environment,
              wayland ? "--class '^weston'" : "--name '^Dunvel$'",
              wayland ? std::pair{(640 - 396) / 2, (640 - 484) / 2} : std::pair{0, 0});
    if (!soak.started()) {
      std::cerr << "dunvel-soak: the companion did not start\n";
      return 1;
    }
    MemoryWatch memory(soak.companionPid());
    const auto start = Clock::now();
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::mt19937_64 choices(seed ^ 0x5eed);
    // A burst first, so that the first minute's memory has seen one.
    soak.burst();
    while (Clock::now() < deadline) {
      switch (std::uniform_int_distribution<int>(0, window ? 3 : 2)(choices)) {
        case 0:
          soak.night(deadline);
          break;
        case 1:
          soak.burst();
          break;
        case 3:
          soak.clicks();
          break;
        default:
          std::this_thread::sleep_for(
              std::chrono::milliseconds(std::uniform_int_distribution<int>(500, 5'000)(choices)));
          break;
      }
    }
    if (!killDisplay) soak.finish();

    const ProcessSample end = sampleProcess(soak.companionPid());
    const std::int64_t firstMinute = memory.firstMinutePeakKiB();
    if (static_cast<double>(end.vmRssKiB) > 1.10 * static_cast<double>(firstMinute)) {
      soak.fail("memory grew: VmRSS " + std::to_string(end.vmRssKiB) +
                " KiB at the end, first minute's peak " + std::to_string(firstMinute) + " KiB");
    }
    const Tally& tally = soak.tally();
    const double ran = std::chrono::duration<double>(Clock::now() - start).count();
    std::cout << "ran " << ran << " s: " << tally.nights << " quiz nights killed at random ("
              << tally.nightsShown << " changed the screen), " << tally.bursts << " bursts, "
              << tally.snapshots << " snapshots, " << tally.reachabilityToggles
              << " reachability changes, " << tally.garbage << " garbage lines ("
              << tally.errorsAnswered << " answered), " << tally.cutMidLine
              << " connections cut mid-line, " << soak.companion().linesSeen()
              << " companion log lines\n"
              << "VmRSS: first minute's peak " << firstMinute << " KiB, peak " << memory.peakKiB()
              << " KiB, end " << end.vmRssKiB << " KiB; VmHWM " << end.vmHwmKiB
              << " KiB; companion CPU " << end.cpuSeconds << " s\n"
              << (window ? std::to_string(tally.clicks) + " controls clicked, " +
                               std::to_string(tally.commandsArrived) + " commands arrived\n"
                         : "commands from the companion: not checked (headless: no clicks)\n");
    if (killDisplay) {
      const int before = tally.failures;
      soak.loseDisplay([&] {
        if (weston) {
          weston->signal(SIGKILL);
        } else {
          display->kill();
        }
      });
      std::cout << "display killed mid-night: the companion "
                << (tally.failures == before ? "ended with status 0, no socket left"
                                             : "did not end cleanly")
                << std::endl;
    }
    failures = soak.tally().failures;
    soak.companion().stop();
  }
  std::cout << (failures == 0 ? "dunvel-soak: every check held" : "dunvel-soak: FAILED")
            << std::endl;
  return failures == 0 ? 0 : 1;
}
