#include "app/watch/WatchCommandLine.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>
#include <ostream>

#include "app/watch/RunApp.h"
#include "cli/CommandLine.h"
#include "cli/UsageError.h"
#include "host/DemoHost.h"
#include "link/SessionPlatform.h"
#include "platform/link/LinkPath.h"
#include "platform/link/SocketSession.h"
#include "platform/link/TerminationSignals.h"
#include "platform/recording/RecordingHooks.h"
#include "platform/recording/RecordingWriter.h"
#include "platform/runloop/MainRunLoop.h"
#include "platform/runloop/SystemClock.h"
#include "render/TextSize.h"

namespace dunvel {

std::optional<WatchOptions> parseWatchCommandLine(int argc, const char* const* argv,
                                                  std::ostream& out, std::ostream& err,
                                                  int& exitStatus) {
  CLI::App app(
      "The wrist companion of the Dunvel quiz game. Listens for the host app on a local socket "
      "($XDG_RUNTIME_DIR/dunvel/link.sock, else /tmp/dunvel-<uid>/link.sock) and shows its game "
      "snapshots, in a window when there is a display (a click is a tap, the wheel and the "
      "arrow keys turn the crown); ends on Ctrl-C, SIGTERM, Escape or closing the window.",
      "dunvel-watch");
  addCommonOptions(app);
  WatchOptions options;
  app.add_flag("--headless", options.headless,
               "Run without a window even when there is a display ($DISPLAY or "
               "$WAYLAND_DISPLAY); what is shown is logged either way");
  app.add_option("--link", options.link, "Socket path to listen on");
  app.add_flag("--demo", options.demo,
               "Also play a demo quiz night as the host, in this process, over the socket "
               "(it reveals and awards by itself)");
  app.add_option("--size", options.size, "The watch's case size: 41mm, 45mm or 49mm; default 45mm")
      ->check(CLI::IsMember({"41mm", "45mm", "49mm"}));
  app.add_option("--scale", options.scale,
                 "Pixels per point of the face, 0.25 to 8; default 2 (a 45mm face is then "
                 "396x484 pixels)")
      ->check(CLI::Range(0.25, 8.0));
  app.add_option("--text-size", options.textSize,
                 "The wearer's text size: xSmall, small, large, xLarge, xxLarge, xxxLarge, AX1, "
                 "AX2 or AX3 (any case); default the case's own (large on 41mm, xLarge on 45mm and "
                 "49mm). In the window, - and + step it down and up")
      ->check(CLI::Validator(
          [](const std::string& name) {
            return parseTextSize(name) ? std::string() : "not a text size: " + name;
          },
          "TEXT-SIZE"));
  app.add_option("--frames", options.frames,
                 "Write each frame painted as a numbered PNG (frame-000001.png, ...) into this "
                 "folder, made when missing; with or without a window");
  app.add_option("--record", options.record,
                 "Append a recording of the night to FILE: one JSON line per frame received, "
                 "host connection, tap, command, haptic and screen change")
      ->type_name("FILE");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    exitStatus = reportUsageError(app, error, out, err);
    return std::nullopt;
  }
  exitStatus = 0;
  return options;
}

int watchMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  int status = 0;
  const std::optional<WatchOptions> options = parseWatchCommandLine(argc, argv, out, err, status);
  if (!options) return status;

  // Destroyed in reverse: the session (and its thread, which queues onto the loop) goes first,
  // then the loop with any block still queued for the recording, then the recording.
  SystemClock wallClock;
  RecordingWriter recording(
      wallClock, [] { return std::chrono::steady_clock::now().time_since_epoch(); }, err);
  MainRunLoop loop;
  // From here on a signal ends the run cleanly; one that comes before run() makes it return at
  // once.
  TerminationSignals signals([&loop](int) { loop.stop(); });
  SocketSession::Options linkOptions;
  linkOptions.path = resolveLinkPath(options->link);
  linkOptions.folderPolicy =
      options->link ? LinkFolderPolicy::chosenFolder : LinkFolderPolicy::privateFolder;
  linkOptions.waitUntilPendingAtMost = [&loop](std::size_t n) { loop.waitUntilPendingAtMost(n); };
  if (options->record) linkOptions.traffic = recordLinkTraffic(loop, recording);
  SocketSession session(std::move(linkOptions));
  if (std::string problem = session.listen(); !problem.empty()) {
    err << "dunvel-watch: " << problem << std::endl;
    return 1;
  }
  out << "dunvel-watch: listening on " << session.path().string() << std::endl;
  if (options->record) {
    if (std::string problem = recording.open(*options->record, "dunvel-watch"); !problem.empty()) {
      err << "dunvel-watch: " << problem << std::endl;
      return 1;
    }
    out << "dunvel-watch: recording to " << *options->record << std::endl;
  }

  SessionPlatform platform{
      [] { return true; }, [&session]() -> Session& { return session; }, &loop, {}};
  if (options->record) platform.observeSend = recordTaps(recording);
  installSessionPlatform(std::move(platform));

  std::unique_ptr<DemoHost> demo;
  if (options->demo) {
    demo = std::make_unique<DemoHost>(
        DemoHost::Options{session.path(), Autoplay::on, {}, [&out](const std::string& line) {
                            // One insertion per line, so lines from the two threads do not
                            // interleave mid-line.
                            out << ("host: " + line + "\n") << std::flush;
                          }});
    demo->start();
  }

  const int ran = runApp(loop, *options, out, err, options->record ? &recording : nullptr);

  if (demo) demo->stop();
  session.stop();
  out << "dunvel-watch: stopped" << std::endl;
  return ran;
}

}  // namespace dunvel
