// What the running companion costs the machine: the real dunvel-watch, headless and then with its
// window on a private Xvfb display, measured from outside through /proc. Main-thread wake-ups per
// second and CPU seconds per minute on the idle screen (no host) and on the question screen (the
// clock ticks once a second), peak memory at rest, and peak memory after a flood of snapshots
// pushed as fast as the link takes them. With the window, the floor: the peak memory of a bare
// SDL window showing one Pango frame (dunvel-bench-bare-window).
//
//   dunvel-bench-companion [--window SECONDS] [--flood N] [--out FILE] [--watch PATH]
//                          [--preview PATH]
//
// Then the cost of a long team list: a board of 95 305 teams pushed to the companion (headless,
// then in the window), and drawn by `dunvel-preview png`; and a board of 10 000 named teams drawn
// by `dunvel-preview variants` (every case at every text size).
//
// Each screen is measured over a window (default 20 s) after a short settling time, and the
// figures are scaled to a second and a minute.
//
// The companion also listens on a loopback WebSocket endpoint (--listen), as a host app
// builder runs it: a listener that nobody uses must cost no wake-ups either.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "wire/LinkFrame.h"
#include "support/ChildProcess.h"
#include "support/Figures.h"
#include "support/LinkClient.h"
#include "support/ProcessSample.h"
#include "support/TempFolder.h"
#include "support/Xvfb.h"

namespace {

using namespace dunvel;
using namespace dunvel::bench;
using namespace std::chrono_literals;

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string questionLine(std::int64_t points, const std::string& mode, double openedAt) {
  return LinkFrame::contextLine(ContextDictionary{{"screen", "question"},
                                                  {"questionPoints", points},
                                                  {"questionMode", mode},
                                                  {"questionOpenedAt", openedAt}});
}

// Wake-ups and CPU of the process over the window, after settling.
void measureScreen(const std::string& screen, pid_t pid, std::chrono::seconds window,
                   Figures& figures) {
  std::this_thread::sleep_for(2s);
  const ProcessSample before = sampleProcess(pid);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(window);
  const ProcessSample after = sampleProcess(pid);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.add(screen + "/wakeups_per_second",
              static_cast<double>(after.mainThreadWakeUps - before.mainThreadWakeUps) / seconds,
              "/s");
  figures.add(screen + "/cpu_seconds_per_minute",
              (after.cpuSeconds - before.cpuSeconds) * 60.0 / seconds, "s/min");
}

int fail(const std::string& what) {
  std::cerr << "dunvel-bench-companion: " << what << '\n';
  return 1;
}

// One companion from start to end: idle, the question screen, its memory at rest, and after a
// flood of snapshots. Figures are named prefix + "idle/…" and so on. 0, or 1 with the reason.
int measureCompanion(const std::string& prefix, std::vector<std::string> argv,
                     const std::filesystem::path& link, std::chrono::seconds window,
                     std::int64_t flood, Figures& figures) {
  argv.insert(argv.end(), {"--link", link.string(), "--listen", "ws://127.0.0.1:0"});
  ChildProcess companion(argv);
  if (!companion.waitForLine("screen idle", 0, 10s)) return fail("the companion did not start");
  measureScreen(prefix + "idle", companion.pid(), window, figures);
  figures.add(prefix + "rest/vmhwm_kib",
              static_cast<double>(sampleProcess(companion.pid()).vmHwmKiB), "KiB");

  LinkClient host;
  if (!host.connect(link)) return fail("cannot connect to the companion");
  std::uint64_t mark = companion.linesSeen();
  host.write(questionLine(20, "measuring", nowSeconds()));
  if (!companion.waitForLine("measuring", mark, 10s)) {
    return fail("the question screen did not show");
  }
  measureScreen(prefix + "question", companion.pid(), window, figures);

  // The flood: distinct snapshots as fast as the link takes them, the last one marked.
  mark = companion.linesSeen();
  const double openedAt = nowSeconds();
  const auto floodStart = std::chrono::steady_clock::now();
  std::string batch;
  for (std::int64_t i = 1; i <= flood; ++i) {
    batch += questionLine(i, i == flood ? "flood end" : "flood", openedAt);
    if (batch.size() > 256 * 1024 || i == flood) {
      if (!host.write(batch)) return fail("the companion closed the link during the flood");
      batch.clear();
    }
  }
  int status = 0;
  if (!companion.waitForLine("flood end", mark, 300s)) {
    status = fail("the flood's last snapshot did not show");
  }
  const double floodSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - floodStart).count();
  figures.add(prefix + "flood/vmhwm_kib",
              static_cast<double>(sampleProcess(companion.pid()).vmHwmKiB), "KiB");
  figures.add(prefix + "flood/snapshots_per_second", static_cast<double>(flood) / floodSeconds,
              "/s");
  host.close();
  companion.stop();
  return status;
}

// A board of 95 305 teams: as many `{"id":""}` as fit a snapshot line under the link's 1 MiB.
std::string longBoardLine() {
  std::string line = R"({"screen":"board","gameName":"long list","teams":[)";
  for (int i = 0; i < 95'305; ++i) line += i == 0 ? R"({"id":""})" : R"(,{"id":""})";
  return line + "]}";
}

// The link's frame around a snapshot.
std::string contextFrame(const std::string& snapshot) {
  return R"({"type":"context","payload":)" + snapshot + "}\n";
}

std::string shortBoardLine() {
  return R"({"screen":"board","gameName":"after the list","teams":[)"
         R"({"id":"a","name":"A"},{"id":"b","name":"B"},{"id":"c","name":"C"}]})";
}

// The long board pushed to a companion, then a three-team board: how soon the long one shows,
// the peak memory it takes, and the memory left once the short one has replaced it. With a
// window (display set), also the CPU of one wheel step over the long board, from xdotool.
int measureLongBoard(const std::string& prefix, std::vector<std::string> argv,
                     const std::filesystem::path& link, bool window, Figures& figures) {
  argv.insert(argv.end(), {"--link", link.string()});
  ChildProcess companion(argv);
  if (!companion.waitForLine("screen idle", 0, 10s)) return fail("the companion did not start");
  LinkClient host;
  if (!host.connect(link)) return fail("cannot connect to the companion");
  std::uint64_t mark = companion.linesSeen();
  const std::string line = contextFrame(longBoardLine());
  const auto start = std::chrono::steady_clock::now();
  if (!host.write(line)) return fail("the companion closed the link");
  if (!companion.waitForLine("long list", mark, 120s)) return fail("the long board did not show");
  figures.add(prefix + "long_board/shown_seconds",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), "s");
  std::this_thread::sleep_for(1s);
  figures.add(prefix + "long_board/vmhwm_kib",
              static_cast<double>(sampleProcess(companion.pid()).vmHwmKiB), "KiB");
  if (window) {
    // Wheel steps down over the face, spaced so each one is painted before the next.
    const std::string move = "xdotool search --sync --name '^Dunvel$' mousemove --window %1 50 80";
    if (std::system(move.c_str()) != 0) return fail("xdotool cannot find the window");
    constexpr int kSteps = 20;
    const ProcessSample before = sampleProcess(companion.pid());
    for (int i = 0; i < kSteps; ++i) {
      if (std::system("xdotool click 5") != 0) return fail("xdotool cannot click");
      std::this_thread::sleep_for(300ms);
    }
    // Until the companion has caught up: its CPU time stands still for a second.
    ProcessSample after = sampleProcess(companion.pid());
    for (int waited = 0; waited < 120; ++waited) {
      std::this_thread::sleep_for(1s);
      const ProcessSample now = sampleProcess(companion.pid());
      if (now.cpuSeconds - after.cpuSeconds < 0.01) break;
      after = now;
    }
    figures.add(prefix + "long_board/wheel_step_cpu_ms",
                (after.cpuSeconds - before.cpuSeconds) * 1000.0 / kSteps, "ms");
  }
  mark = companion.linesSeen();
  if (!host.write(contextFrame(shortBoardLine()))) return fail("the companion closed the link");
  if (!companion.waitForLine("after the list", mark, 60s)) {
    return fail("the short board did not show");
  }
  std::this_thread::sleep_for(2s);
  figures.add(prefix + "long_board/after_short_rss_kib",
              static_cast<double>(sampleProcess(companion.pid()).vmRssKiB), "KiB");
  host.close();
  companion.stop();
  return 0;
}

// A dunvel-preview command on a snapshot file written for it: its wall time and peak memory,
// as NAME/seconds and NAME/maxrss_kib.
int measurePreview(const std::string& preview, const std::filesystem::path& folder,
                   const char* command, const std::string& snapshot, const std::string& name,
                   Figures& figures) {
  std::string stem = name;
  std::replace(stem.begin(), stem.end(), '/', '-');
  const std::filesystem::path input = folder / (stem + ".json");
  const std::filesystem::path output = folder / (stem + ".png");
  {
    std::ofstream file(input);
    file << snapshot << '\n';
    if (!file) return fail("cannot write " + input.string());
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return fail("cannot start dunvel-preview");
  if (pid == 0) {
    execl(preview.c_str(), preview.c_str(), command, input.c_str(), "-o", output.c_str(), "--now",
          "1765136742", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return fail(std::string("dunvel-preview ") + command + " of " + name + " failed");
  }
  figures.add(name + "_seconds",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), "s");
  figures.add(name + "_maxrss_kib", static_cast<double>(usage.ru_maxrss), "KiB");
  return 0;
}

// A board of 10 000 teams with names and points, as a long night's host app sends it.
std::string namedBoardLine(int teams) {
  std::string json = R"({"screen":"board","gameName":"ليلة الأسئلة","teams":[)";
  for (int i = 0; i < teams; ++i) {
    if (i > 0) json += ',';
    json += R"({"id":"t)" + std::to_string(i) + R"(","name":"فريق )" + std::to_string(i) +
            R"(","points":)" + std::to_string(i % 97) + "}";
  }
  return json + "]}";
}

// The floor: a bare SDL window showing one Pango frame, at rest.
int measureBareWindow(const std::string& program, Figures& figures) {
  ChildProcess bare({program});
  if (!bare.waitForLine("shown", 0, 10s)) return fail("the bare window did not show");
  std::this_thread::sleep_for(2s);
  figures.add("bare_window/vmhwm_kib", static_cast<double>(sampleProcess(bare.pid()).vmHwmKiB),
              "KiB");
  bare.stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::chrono::seconds window{20};
  std::int64_t flood = 100'000;
  std::string out = "companion.json";
  std::string watch = DUNVEL_WATCH_PATH;
  std::string bareWindow = DUNVEL_BARE_WINDOW_PATH;
  std::string preview = DUNVEL_PREVIEW_PATH;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--window") {
      window = std::chrono::seconds(std::stoll(argv[i + 1]));
    } else if (option == "--flood") {
      flood = std::stoll(argv[i + 1]);
    } else if (option == "--out") {
      out = argv[i + 1];
    } else if (option == "--watch") {
      watch = argv[i + 1];
    } else if (option == "--preview") {
      preview = argv[i + 1];
    } else {
      return fail("unknown option " + option);
    }
  }

  Figures figures;
  int status = 0;
  {
    const TempFolder folder;
    status = measureCompanion("", {watch, "--headless"}, folder.path() / "link.sock", window, flood,
                              figures);
  }
  if (status == 0) {
    const TempFolder folder;
    status =
        measureLongBoard("", {watch, "--headless"}, folder.path() / "link.sock", false, figures);
  }
  if (status == 0) {
    const TempFolder folder;
    status = measurePreview(preview, folder.path(), "png", longBoardLine(),
                            "preview_png/long_board", figures);
    if (status == 0) {
      status = measurePreview(preview, folder.path(), "variants", namedBoardLine(10'000),
                              "preview_variants/named_board", figures);
    }
  }
  if (status == 0) {
    if (const std::optional<Xvfb> display = Xvfb::start()) {
      setenv("DISPLAY", display->name().c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");
      const TempFolder folder;
      status =
          measureCompanion("window_", {watch}, folder.path() / "link.sock", window, flood, figures);
      if (status == 0) status = measureBareWindow(bareWindow, figures);
      if (status == 0) {
        const TempFolder board;
        status = measureLongBoard("window_", {watch}, board.path() / "link.sock", true, figures);
      }
    } else {
      std::cerr << "dunvel-bench-companion: no Xvfb, so nothing is measured with a window\n";
    }
  }
  if (!figures.write(out)) return fail("cannot write " + out);
  return status;
}
