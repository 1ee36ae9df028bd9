// What the running companion costs the machine: the real dunvel-watch, headless and then with its
// window on a private Xvfb display, measured from outside through /proc. Main-thread wake-ups per
// second and CPU seconds per minute on the idle screen (no host) and on the question screen (the
// clock ticks once a second), peak memory at rest, and peak memory after a flood of snapshots
// pushed as fast as the link takes them. With the window, the floor: the peak memory of a bare
// SDL window showing one Pango frame (dunvel-bench-bare-window).
//
//   dunvel-bench-companion [--window SECONDS] [--flood N] [--out FILE] [--watch PATH]
//
// Each screen is measured over a window (default 20 s) after a short settling time, and the
// figures are scaled to a second and a minute.
//
// The companion also listens on a loopback WebSocket endpoint (--listen), as a host app
// builder runs it: a listener that nobody uses must cost no wake-ups either.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/link/LinkFrame.h"
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
    if (const std::optional<Xvfb> display = Xvfb::start()) {
      setenv("DISPLAY", display->name().c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");
      const TempFolder folder;
      status =
          measureCompanion("window_", {watch}, folder.path() / "link.sock", window, flood, figures);
      if (status == 0) status = measureBareWindow(bareWindow, figures);
    } else {
      std::cerr << "dunvel-bench-companion: no Xvfb, so nothing is measured with a window\n";
    }
  }
  if (!figures.write(out)) return fail("cannot write " + out);
  return status;
}
