#include "host/HostCommandLine.h"

#include <unistd.h>
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
#include "cli/NumberOption.h"
#include "cli/UsageError.h"
#include "explain/FindingText.h"
#include "explain/SnapshotExplain.h"
#include "host/DemoHost.h"
#include "host/EndWaiter.h"
#include "host/HostConnection.h"
#include "host/HostExitCodes.h"
#include "host/HostLinkReports.h"
#include "host/HostReplay.h"
#include "host/LineWriter.h"
#include "host/OutputWatch.h"
#include "host/PushLine.h"
#include "host/WebSocketHostLink.h"
#include "platform/link/LinkPath.h"
#include "platform/link/LinkUrlFile.h"
#include "state/OneLine.h"
#include "state/SnapshotJson.h"
#include "wire/LineSplitter.h"
#include "wire/LinkFrame.h"

namespace dunvel {

namespace {

// Reads all of in, or stops once it holds more than limit bytes (an endless input such as
// /dev/zero is never read further); false then.
// The link a command connects to: a WebSocket URL as given (it is no file), else the socket's
// path.
std::string chosenLink(const std::optional<std::string>& link) {
  if (link && isWebSocketLink(*link)) return *link;
  return resolveLinkPath(link).string();
}

bool readAtMost(std::istream& in, std::size_t limit, std::string& bytes) {
  char buffer[64 * 1024];
  while (in) {
    in.read(buffer, sizeof buffer);
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > limit) return false;
  }
  return true;
}

constexpr const char* kLinkHelp =
    "Socket path of the companion, or its WebSocket endpoint: ws://ADDRESS:PORT (or wss://), "
    "whose token is read from the URL file the companion wrote in its folder "
    "($XDG_RUNTIME_DIR/dunvel/SOCKET.url), so it stays off the command line";
constexpr const char* kLinkFileHelp =
    "Read the endpoint's URL, token included, from FILE (a companion's SOCKET.url)";

// What the watch will not take as sent, on err, one line a finding. True when there was any.
bool reportFindings(const ContextDictionary& snapshot, const std::string& shownName,
                    std::ostream& err) {
  const double now =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  const SnapshotExplanation explained = explainSnapshot(snapshot, now, kMostFindingsListed);
  for (const SnapshotFinding& finding : explained.findings) {
    err << "dunvel-host: " << oneLine(shownName) << ": " << findingLine(finding) << '\n';
  }
  if (explained.leftOut > 0) {
    err << "dunvel-host: " << oneLine(shownName) << ": and " << explained.leftOut
        << " more findings, not listed (the first " << kMostFindingsListed << " are)\n";
  }
  return !explained.findings.empty();
}

int push(const std::string& file, bool asMessage, bool openedNow, bool strict,
         const std::optional<std::string>& link, std::chrono::milliseconds timeout,
         std::istream& in, std::ostream& out, std::ostream& err) {
  const std::string shownName = file == "-" ? "standard input" : file;
  std::string json;
  bool whole = true;
  if (file == "-") {
    whole = readAtMost(in, kMaxSnapshotFileBytes, json);
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
    whole = readAtMost(stream, kMaxSnapshotFileBytes, json);
    if (stream.bad()) {
      err << "dunvel-host: cannot read " << file << '\n';
      return kBadInput;
    }
  }
  if (!whole) {
    err << "dunvel-host: " << shownName << ": larger than " << (kMaxSnapshotFileBytes >> 20)
        << " MiB, too large for a snapshot\n";
    return kBadInput;
  }
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
  // The watch takes any snapshot without a word; the person building the host app hears here
  // what it will make of this one.
  if (reportFindings(read.dictionary, shownName, err) && strict) {
    err << "dunvel-host: " << oneLine(shownName) << ": not sent: it has findings (--strict)\n";
    return kBadInput;
  }
  const std::string line =
      asMessage ? LinkFrame::messageLine(read.dictionary) : LinkFrame::contextLine(read.dictionary);
  if (line.size() - 1 > kMaxLinkLineBytes) {
    err << "dunvel-host: " << shownName << ": the snapshot takes " << line.size() - 1
        << " bytes on the link, more than the 1 MiB a line may hold\n";
    return kBadInput;
  }
  const std::string target = chosenLink(link);
  const std::string problem = pushLine(target, line, timeout);
  if (!problem.empty()) {
    err << "dunvel-host: " << problem << '\n';
    return kBadInput;
  }
  out << "dunvel-host: sent " << shownName << " as " << (asMessage ? "a message" : "the context")
      << " to " << shownLink(target) << '\n';
  return kDone;
}

int listen(const std::optional<std::string>& link, int outputFd, std::ostream& out,
           std::ostream& err) {
  LineWriter output(out);
  LineWriter errors(err);
  EndWaiter waiter;
  bool everConnected = false;  // I/O thread
  HostConnection connection(
      chosenLink(link), Reconnect::automatically,
      HostConnection::Handlers{
          [&] {
            if (everConnected) errors.write("dunvel-host: connected again");
            everConnected = true;
          },
          // The commands are all this command is for: once they cannot be written, it ends.
          HostLinkReports::printCommands(output, errors, waiter),
          HostLinkReports::reportProblem(errors, waiter),
          HostLinkReports::reportDisconnect(errors, waiter, everConnected)});
  connection.start();
  // A reader that went away (`listen | head -n 1`) ends it at once, not at the next command, so
  // the link is let go.
  OutputWatch watch(outputFd, [&] {
    errors.write("dunvel-host: the reader of the commands went away");
    waiter.finish(kBadInput);
  });
  const int status = waiter.wait();
  connection.stop();
  return status;
}

int demo(bool autoplay, const std::optional<std::string>& link, std::ostream& out) {
  LineWriter output(out);
  EndWaiter waiter;
  DemoHost host(DemoHost::Options{resolveLinkPath(link),
                                  autoplay ? Autoplay::on : Autoplay::off,
                                  {},
                                  [&](const std::string& line) {
                                    if (!output.write("dunvel-host: " + line))
                                      waiter.finish(kBadInput);
                                  }});
  host.start();
  const int status = waiter.wait();
  host.stop();
  return status;
}

// What the command line asked for, as CLI11 fills it in.
struct HostArguments {
  std::optional<std::string> linkFile;
  double timeoutSeconds = 5;

  CLI::App* pushCommand = nullptr;
  std::string file;
  bool asMessage = false;
  bool openedNow = false;
  bool strict = false;
  std::optional<std::string> pushLink;

  CLI::App* listenCommand = nullptr;
  std::optional<std::string> listenLink;

  CLI::App* demoCommand = nullptr;
  bool autoplay = false;
  std::optional<std::string> demoLink;

  CLI::App* replayCommand = nullptr;
  HostReplayOptions replayOptions;
  std::optional<std::string> replayLink;

  // The --link of the subcommand given.
  std::optional<std::string> link() const {
    if (*pushCommand) return pushLink;
    if (*listenCommand) return listenLink;
    if (*replayCommand) return replayLink;
    return demoLink;
  }
};

void addTimeout(CLI::App& command, double& seconds, const std::string& what) {
  command
      .add_option("--timeout", seconds,
                  "Seconds to wait for " + what + " before giving up, 0.001 to 86400")
      ->check(FiniteNumber())
      ->check(CLI::Range(0.001, 86400.0))
      ->capture_default_str();
}

void addLinkOptions(CLI::App& command, std::optional<std::string>& link,
                    std::optional<std::string>& linkFile) {
  command.add_option("--link", link, kLinkHelp);
  command.add_option("--link-file", linkFile, kLinkFileHelp)->type_name("FILE");
}

void addPushCommand(CLI::App& app, HostArguments& arguments) {
  CLI::App* pushCommand =
      app.add_subcommand("push",
                         "Send a JSON snapshot to the companion and exit. What the watch will not "
                         "take as sent (a key it does not read, a value of the wrong kind, a team "
                         "it skips, ...) is printed on standard error first, one line a finding, "
                         "as dunvel-preview explain prints it; the snapshot is sent anyway.");
  pushCommand->add_option("FILE", arguments.file, "JSON snapshot file, or - for standard input")
      ->required();
  pushCommand->add_flag("--message", arguments.asMessage,
                        "Send it as a message instead of the application context");
  pushCommand->add_flag(
      "--opened-now", arguments.openedNow,
      "Set questionOpenedAt to this moment, so the question clock starts at 0:00");
  pushCommand->add_flag("--strict", arguments.strict,
                        "Send nothing when the snapshot has findings (exit status 1)");
  addLinkOptions(*pushCommand, arguments.pushLink, arguments.linkFile);
  addTimeout(*pushCommand, arguments.timeoutSeconds, "the companion to take the snapshot");
  arguments.pushCommand = pushCommand;
}

void addListenAndDemoCommands(CLI::App& app, HostArguments& arguments) {
  arguments.listenCommand = app.add_subcommand(
      "listen", "Print each command the companion sends as one JSON line, until interrupted.");
  addLinkOptions(*arguments.listenCommand, arguments.listenLink, arguments.linkFile);

  arguments.demoCommand = app.add_subcommand(
      "demo", "Play a small quiz night that reacts to the companion's commands.");
  arguments.demoCommand->add_flag(
      "--autoplay", arguments.autoplay,
      "Reveal and award by itself after a few seconds, so the night runs with nobody at the "
      "watch");
  addLinkOptions(*arguments.demoCommand, arguments.demoLink, arguments.linkFile);
}

void addReplayCommand(CLI::App& app, HostArguments& arguments) {
  HostReplayOptions& replayOptions = arguments.replayOptions;
  CLI::App* replayCommand = app.add_subcommand(
      "replay",
      "Play the host side of a recording (dunvel-watch --record) against a running companion: "
      "the same frames in the same order with the same gaps, questionOpenedAt moved along so "
      "the question clock shows what it showed. Prints the commands the companion sends now.");
  replayCommand->add_option("FILE", replayOptions.file, "The recording")->required();
  replayCommand
      ->add_option("--speed", replayOptions.speed,
                   "How many times faster than recorded; 0 sends as fast as the link takes them")
      ->check(FiniteNumber())
      ->capture_default_str();
  replayCommand
      ->add_option("--from", replayOptions.fromMs,
                   "Start at this many milliseconds into the recording, with the snapshot the "
                   "companion had then")
      ->check(FiniteNumber())
      ->capture_default_str();
  addLinkOptions(*replayCommand, arguments.replayLink, arguments.linkFile);
  addTimeout(*replayCommand, arguments.timeoutSeconds, "the companion to take the frames sent");
  arguments.replayCommand = replayCommand;
}

// The replay's numbers that CLI11 cannot check: kDone when they are fine.
int checkReplayNumbers(const HostReplayOptions& replayOptions, std::ostream& err) {
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
  return kDone;
}

// The link to use, from --link or --link-file, a WebSocket URL given its token from the URL file
// its companion wrote, and checked: kDone when it can be used.
int resolveLink(const HostArguments& arguments, std::optional<std::string>& link,
                std::ostream& err) {
  link = arguments.link();
  if (arguments.linkFile) {
    if (link) {
      err << "dunvel-host: --link and --link-file: give one of them (see --help)\n";
      return kBadUsage;
    }
    std::string url;
    if (std::string problem = readLinkUrlFile(*arguments.linkFile, url); !problem.empty()) {
      err << "dunvel-host: --link-file " << problem << '\n';
      return kBadInput;
    }
    link = std::move(url);
  } else if (link && isWebSocketLink(*link) && !hasLinkToken(*link)) {
    std::string url;
    if (std::string problem = findLinkUrl(*link, defaultLinkPath().parent_path(), url);
        !problem.empty()) {
      err << "dunvel-host: --link " << oneLine(problem) << '\n';
      return kBadInput;
    }
    link = std::move(url);
  }
  if (link && isWebSocketLink(*link)) {
    if (std::string problem = checkWebSocketLinkUrl(*link); !problem.empty()) {
      err << "dunvel-host: --link " << problem << '\n';
      return kBadInput;
    }
  } else if (std::string problem = checkLinkPathLength(resolveLinkPath(link)); !problem.empty()) {
    err << "dunvel-host: " << problem << '\n';
    return kBadInput;
  }
  return kDone;
}

int runCommand(HostArguments& arguments, const std::optional<std::string>& link, std::istream& in,
               std::ostream& out, std::ostream& err) {
  const auto timeout = std::chrono::milliseconds(
      static_cast<std::int64_t>(std::llround(arguments.timeoutSeconds * 1000)));
  // Only the process's own standard output can be watched for a reader that goes away.
  const int outputFd = &out == &std::cout ? STDOUT_FILENO : -1;
  if (*arguments.pushCommand) {
    return push(arguments.file, arguments.asMessage, arguments.openedNow, arguments.strict, link,
                timeout, in, out, err);
  }
  if (*arguments.listenCommand) return listen(link, outputFd, out, err);
  if (*arguments.replayCommand) {
    arguments.replayOptions.link = chosenLink(link);
    arguments.replayOptions.timeout = timeout;
    arguments.replayOptions.outputFd = outputFd;
    return replayRecording(arguments.replayOptions, out, err);
  }
  return demo(arguments.autoplay, link, out);
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
  HostArguments arguments;
  addPushCommand(app, arguments);
  addListenAndDemoCommands(app, arguments);
  addReplayCommand(app, arguments);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return reportUsageError(app, error, out, err) == 0 ? kDone : kBadUsage;
  }
  if (*arguments.replayCommand) {
    if (const int status = checkReplayNumbers(arguments.replayOptions, err); status != kDone) {
      return status;
    }
  }
  std::optional<std::string> link;
  if (const int status = resolveLink(arguments, link, err); status != kDone) return status;
  const int status = runCommand(arguments, link, in, out, err);
  // What was printed must have reached its reader, or the command did not do its work.
  errno = 0;
  if (!out.flush()) {
    if (status == kDone) {
      err << "dunvel-host: cannot write standard output: "
          << (errno != 0 ? std::strerror(errno) : "the stream failed") << '\n';
    }
    return kBadInput;
  }
  return status;
}

}  // namespace dunvel
