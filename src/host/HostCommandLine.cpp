#include "host/HostCommandLine.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "cli/CommandLine.h"
#include "cli/UsageError.h"
#include "host/DemoHost.h"
#include "host/EndWaiter.h"
#include "host/HostConnection.h"
#include "host/HostReplay.h"
#include "host/LineWriter.h"
#include "host/PushLine.h"
#include "platform/link/LineSplitter.h"
#include "platform/link/LinkFrame.h"
#include "platform/link/LinkPath.h"
#include "state/SnapshotJson.h"

namespace dunvel {

namespace {

constexpr int kDone = 0;
constexpr int kBadInput = 1;
constexpr int kBadUsage = 2;

int push(const std::string& file, bool asMessage, bool openedNow,
         const std::optional<std::string>& link, std::istream& in, std::ostream& out,
         std::ostream& err) {
  std::string json;
  if (file == "-") {
    json.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else {
    std::error_code ignored;
    if (std::filesystem::is_directory(file, ignored)) {
      err << "dunvel-host: cannot read " << file << ": it is a folder, not a JSON file\n";
      return kBadInput;
    }
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
      err << "dunvel-host: cannot read " << file << ": " << std::strerror(errno) << '\n';
      return kBadInput;
    }
    json.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    if (stream.bad()) {
      err << "dunvel-host: cannot read " << file << '\n';
      return kBadInput;
    }
  }
  const std::string shownName = file == "-" ? "standard input" : file;
  JsonReadResult read = readSnapshotJson(json);
  if (!read.ok()) {
    err << "dunvel-host: " << shownName << ": " << read.error << '\n';
    return kBadInput;
  }
  if (openedNow) {
    // A snapshot file is written once and pushed later: this starts its question clock now.
    const std::chrono::duration<double> sinceEpoch =
        std::chrono::system_clock::now().time_since_epoch();
    read.dictionary.insert_or_assign("questionOpenedAt", ContextValue(sinceEpoch.count()));
  }
  const std::string line =
      asMessage ? LinkFrame::messageLine(read.dictionary) : LinkFrame::contextLine(read.dictionary);
  if (line.size() - 1 > kMaxLinkLineBytes) {
    err << "dunvel-host: " << shownName << ": the snapshot takes " << line.size() - 1
        << " bytes on the link, more than the 1 MiB a line may hold\n";
    return kBadInput;
  }
  const std::filesystem::path path = resolveLinkPath(link);
  if (std::string problem = pushLine(path, line); !problem.empty()) {
    err << "dunvel-host: " << problem << '\n';
    return kBadInput;
  }
  out << "dunvel-host: sent " << shownName << " as " << (asMessage ? "a message" : "the context")
      << " to " << path.string() << '\n';
  return kDone;
}

int listen(const std::optional<std::string>& link, std::ostream& out, std::ostream& err) {
  LineWriter output(out);
  LineWriter errors(err);
  EndWaiter waiter;
  bool everConnected = false;  // I/O thread
  HostConnection connection(
      resolveLinkPath(link), Reconnect::automatically,
      HostConnection::Handlers{
          [&] {
            if (everConnected) errors.write("dunvel-host: connected again");
            everConnected = true;
          },
          [&](const ContextDictionary& command) { output.write(writeContextJson(command)); },
          [&](const std::string& problem) {
            errors.write("dunvel-host: companion: " + problem);
            // Another host holds the link: waiting would only be turned away again.
            if (problem == kLinkTakenMessage) waiter.finish(kBadInput);
          },
          [&](const std::string& reason) {
            errors.write("dunvel-host: " + reason);
            // Nobody there at the start is a mistake worth stopping for; a companion that goes
            // away later is waited for, since it is usually being restarted.
            if (!everConnected) waiter.finish(kBadInput);
          }});
  connection.start();
  const int status = waiter.wait();
  connection.stop();
  return status;
}

int demo(bool autoplay, const std::optional<std::string>& link, std::ostream& out) {
  LineWriter output(out);
  EndWaiter waiter;
  DemoHost host(
      DemoHost::Options{resolveLinkPath(link),
                        autoplay ? Autoplay::on : Autoplay::off,
                        {},
                        [&](const std::string& line) { output.write("dunvel-host: " + line); }});
  host.start();
  const int status = waiter.wait();
  host.stop();
  return status;
}

}  // namespace

int hostMain(int argc, const char* const* argv, std::istream& in, std::ostream& out,
             std::ostream& err) {
  CLI::App app(
      "The host app's stand-in: pushes game snapshots to the companion (dunvel-watch), prints "
      "the commands it sends back, or plays a demo quiz night against it.\n"
      "The link is $XDG_RUNTIME_DIR/dunvel/link.sock, else /tmp/dunvel-<uid>/link.sock.",
      "dunvel-host");
  addCommonOptions(app);
  app.require_subcommand(1);

  std::string file;
  bool asMessage = false;
  std::optional<std::string> pushLink;
  CLI::App* pushCommand =
      app.add_subcommand("push", "Send a JSON snapshot to the companion and exit.");
  pushCommand->add_option("FILE", file, "JSON snapshot file, or - for standard input")->required();
  pushCommand->add_flag("--message", asMessage,
                        "Send it as a message instead of the application context");
  bool openedNow = false;
  pushCommand->add_flag(
      "--opened-now", openedNow,
      "Set questionOpenedAt to this moment, so the question clock starts at 0:00");
  pushCommand->add_option("--link", pushLink, "Socket path of the companion");

  std::optional<std::string> listenLink;
  CLI::App* listenCommand = app.add_subcommand(
      "listen", "Print each command the companion sends as one JSON line, until interrupted.");
  listenCommand->add_option("--link", listenLink, "Socket path of the companion");

  bool autoplay = false;
  std::optional<std::string> demoLink;
  CLI::App* demoCommand = app.add_subcommand(
      "demo", "Play a small quiz night that reacts to the companion's commands.");
  demoCommand->add_flag("--autoplay", autoplay,
                        "Reveal and award by itself after a few seconds, so the night runs with "
                        "nobody at the watch");
  demoCommand->add_option("--link", demoLink, "Socket path of the companion");

  HostReplayOptions replayOptions;
  std::optional<std::string> replayLink;
  CLI::App* replayCommand = app.add_subcommand(
      "replay",
      "Play the host side of a recording (dunvel-watch --record) against a running companion: "
      "the same frames in the same order with the same gaps, questionOpenedAt moved along so "
      "the question clock shows what it showed. Prints the commands the companion sends now.");
  replayCommand->add_option("FILE", replayOptions.file, "The recording")->required();
  replayCommand
      ->add_option("--speed", replayOptions.speed,
                   "How many times faster than recorded; 0 sends as fast as the link takes them")
      ->capture_default_str();
  replayCommand
      ->add_option("--from", replayOptions.fromMs,
                   "Start at this many milliseconds into the recording, with the snapshot the "
                   "companion had then")
      ->capture_default_str();
  replayCommand->add_option("--link", replayLink, "Socket path of the companion");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return reportUsageError(app, error, out, err) == 0 ? kDone : kBadUsage;
  }

  if (*replayCommand) {
    if (!std::isfinite(replayOptions.speed) || replayOptions.speed < 0) {
      err << "dunvel-host: --speed: " << replayOptions.speed
          << " is not a finite number of 0 or more (see --help)\n";
      return kBadUsage;
    }
    if (!std::isfinite(replayOptions.fromMs) || replayOptions.fromMs < 0) {
      err << "dunvel-host: --from: " << replayOptions.fromMs
          << " is not a finite number of milliseconds of 0 or more (see --help)\n";
      return kBadUsage;
    }
  }
  const std::optional<std::string>& link =
      *pushCommand ? pushLink
                   : (*listenCommand ? listenLink : (*replayCommand ? replayLink : demoLink));
  if (std::string problem = checkLinkPathLength(resolveLinkPath(link)); !problem.empty()) {
    err << "dunvel-host: " << problem << '\n';
    return kBadInput;
  }
  if (*pushCommand) return push(file, asMessage, openedNow, pushLink, in, out, err);
  if (*listenCommand) return listen(listenLink, out, err);
  if (*replayCommand) {
    replayOptions.link = resolveLinkPath(link);
    return replayRecording(replayOptions, out, err);
  }
  return demo(autoplay, demoLink, out);
}

}  // namespace dunvel
