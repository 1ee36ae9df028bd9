#include "watch/WatchCommandLine.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <boost/system/system_error.hpp>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>
#include <system_error>

#include "cli/CommandLine.h"
#include "cli/FaceSizeOption.h"
#include "cli/NumberOption.h"
#include "cli/TextSizeOption.h"
#include "cli/UsageError.h"
#include "host/DemoHost.h"
#include "link/SessionPlatform.h"
#include "platform/link/LinkPath.h"
#include "platform/link/LinkUrlFile.h"
#include "platform/link/SocketSession.h"
#include "platform/link/WebSocketListener.h"
#include "platform/recording/RecordingHooks.h"
#include "platform/recording/RecordingWriter.h"
#include "platform/runloop/MainRunLoop.h"
#include "platform/runloop/SystemClock.h"
#include "platform/runloop/TerminationSignals.h"
#include "platform/view/FaceViewer.h"
#include "state/OneLine.h"
#include "watch/BrowserView.h"
#include "watch/LogTee.h"
#include "watch/RunApp.h"
#include "watch/SnapshotFindingsLog.h"

namespace dunvel {

namespace {

// dunvel-watch's own options, beside the common ones.
void addWatchOptions(CLI::App& app, WatchOptions& options) {
  app.add_flag("--headless", options.headless,
               "Run without a window even when there is a display ($DISPLAY or "
               "$WAYLAND_DISPLAY); what is shown is logged either way");
  app.add_option("--link", options.link, "Socket path to listen on");
  app.add_flag("--demo", options.demo,
               "Also play a demo quiz night as the host, in this process, over the socket "
               "(it reveals and awards by itself)");
  app.add_option("--size", options.size, faceSizeHelp("; default 45mm"))->check(FaceSizeName());
  app.add_option("--scale", options.scale,
                 "Pixels per point of the face, 0.25 to 8; default 2 (a 45mm face is then "
                 "396x484 pixels)")
      ->check(FiniteNumber())
      ->check(CLI::Range(0.25, 8.0));
  app.add_option("--text-size", options.textSize,
                 textSizeHelp(". In the window, - and + step it down and up"))
      ->check(TextSizeName());
  app.add_option("--frames", options.frames,
                 "Write each frame painted as a numbered PNG (frame-000001.png, ...) into this "
                 "folder, made when missing; with or without a window");
  app.add_option("--record", options.record,
                 "Append a recording of the night to FILE: one JSON line per frame received, "
                 "host connection, tap, command, haptic and screen change")
      ->type_name("FILE");
  app.add_option("--listen", options.listen,
                 "Also let a host connect over the network, on a WebSocket endpoint: "
                 "ws://ADDRESS:PORT (ws://127.0.0.1:PORT keeps it to this machine; port 0 picks "
                 "a free one), or wss://ADDRESS:PORT with --tls-cert and --tls-key. Its URL, "
                 "token included, is printed on standard error and written to SOCKET.url beside "
                 "the socket (link.sock.url)")
      ->type_name("URL");
  app.add_option("--tls-cert", options.tlsCertificate,
                 "Certificate chain (PEM) of the wss:// endpoint")
      ->type_name("FILE");
  app.add_option("--tls-key", options.tlsKey, "Private key (PEM) of the wss:// endpoint")
      ->type_name("FILE");
  app.add_option("--tls-key-pass-file", options.tlsKeyPassFile,
                 "The pass phrase of an encrypted --tls-key, on one line of FILE")
      ->type_name("FILE");
  auto* tokenFile =
      app.add_option("--token-file", options.tokenFile,
                     "Read the endpoint's token from FILE (one line: at least 16 letters, "
                     "digits, '-', '.', '_' or '~'); a fresh random one (256 bits) when absent")
          ->type_name("FILE");
  app.add_option("--token", options.token,
                 "The token itself, for scripts; other users of this machine can read a command "
                 "line, so --token-file is the safer way")
      ->excludes(tokenFile);
  app.add_option("--allow-origin", options.allowedOrigins,
                 "Let web pages from this origin (e.g. http://localhost:8000) connect to the "
                 "endpoint; others are refused. Repeatable")
      ->type_name("ORIGIN");
  app.add_flag("--view", options.view,
               "Also show the watch face in any browser, live, on the --listen address: open "
               "http://ADDRESS:PORT/view#token=... (the line 'view on ...' gives it, token "
               "included). A click or a touch taps, the wheel turns the crown, haptics buzz a "
               "phone; up to 8 viewers at once");
}

// What is wrong with the options that go with --listen, as a usage line says it; empty when
// nothing is.
std::string listenUsageProblem(const WatchOptions& options) {
  if (!options.listen) {
    if (options.view) return "--view needs --listen ws://ADDRESS:PORT (or wss://)";
    if (options.tlsCertificate || options.tlsKey || options.tlsKeyPassFile || options.token ||
        options.tokenFile || !options.allowedOrigins.empty()) {
      return "--tls-cert, --tls-key, --token, --token-file and --allow-origin go with --listen";
    }
    return {};
  }
  WebSocketAddress address;
  if (std::string problem = parseWebSocketAddress(*options.listen, address); !problem.empty()) {
    return "--listen " + problem;
  }
  if (address.secure != (options.tlsCertificate || options.tlsKey)) {
    return address.secure ? "--listen wss:// needs --tls-cert and --tls-key"
                          : "--tls-cert and --tls-key go with --listen wss://";
  }
  if (address.secure && !(options.tlsCertificate && options.tlsKey)) {
    return "--listen wss:// needs both --tls-cert and --tls-key";
  }
  if (options.tlsKeyPassFile && !options.tlsKey) {
    return "--tls-key-pass-file goes with --tls-key";
  }
  for (const std::string& origin : options.allowedOrigins) {
    if (const NormalizedOrigin normalized = normalizeOrigin(origin); !normalized.origin) {
      return "--allow-origin " + oneLine(normalized.problem);
    }
  }
  return {};
}

// The endpoint's token as the command line gives it: read from --token-file into
// options.token, and checked. A problem is bad input (status 1: what a file holds) or bad
// usage (status 2); a warning is said once the whole command line is known to be good.
struct TokenCheck {
  std::string problem;
  int status = 0;
  std::string warning;
};

TokenCheck checkToken(WatchOptions& options) {
  TokenCheck check;
  if (options.tokenFile) {
    bool readableByOthers = false;
    std::string token;
    if (std::string problem =
            readSecretFile(*options.tokenFile, "a token", token, readableByOthers);
        !problem.empty()) {
      return {"--token-file " + problem, 1, {}};
    }
    if (readableByOthers) {
      check.warning = oneLine(*options.tokenFile) + " can be read by other users (chmod 600 it)";
    }
    options.token = std::move(token);
  }
  if (!options.token) return check;
  const bool fit = options.token->size() >= 16 &&
                   options.token->find_first_not_of(
                       "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~") ==
                       std::string::npos;
  constexpr const char* kTokenRule =
      ": at least 16 characters, each a letter, a digit, '-', '.', '_' or '~'";
  if (!fit && options.tokenFile) {
    // What a file holds is bad input, not bad usage.
    return {"--token-file " + oneLine(*options.tokenFile) + kTokenRule, 1, {}};
  }
  if (!fit) return {std::string("--token") + kTokenRule, 2, {}};
  if (!options.tokenFile) {
    check.warning =
        "--token is on the command line, where other users of this machine can read it (ps); "
        "use --token-file FILE";
  }
  return check;
}

}  // namespace

std::optional<WatchOptions> parseWatchCommandLine(int argc, const char* const* argv,
                                                  std::ostream& out, std::ostream& err,
                                                  int& exitStatus) {
  CLI::App app(
      "The wrist companion of the Dunvel quiz game. Listens for the host app on a local socket "
      "($XDG_RUNTIME_DIR/dunvel/link.sock, else /tmp/dunvel-<uid>/link.sock) and shows its game "
      "snapshots, in a window when there is a display (a click is a tap, the wheel and the "
      "arrow keys turn the crown); ends on Ctrl-C, SIGTERM, SIGHUP, Escape or closing the window.",
      "dunvel-watch");
  addCommonOptions(app);
  WatchOptions options;
  addWatchOptions(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    exitStatus = reportUsageError(app, error, out, err);
    return std::nullopt;
  }
  if (std::string problem = listenUsageProblem(options); !problem.empty()) {
    err << "dunvel-watch: " << problem << " (see --help)\n";
    exitStatus = 2;
    return std::nullopt;
  }
  const TokenCheck token = checkToken(options);
  if (!token.problem.empty()) {
    err << "dunvel-watch: " << token.problem << (token.status == 2 ? " (see --help)\n" : "\n");
    exitStatus = token.status;
    return std::nullopt;
  }
  // Said only once the command line is known to be good: an error stays the one line there is.
  if (!token.warning.empty()) err << "dunvel-watch: warning: " << token.warning << '\n';
  exitStatus = 0;
  return options;
}

namespace {

int runWatch(const std::optional<WatchOptions>& options, std::ostream& out, std::ostream& err);

// The one line for a start the system could not give its resources to: under a low descriptor
// limit Asio cannot make its eventfd or epoll, or a socket cannot be had.
std::string resourceProblem(int code, const char* what) {
  std::string line = oneLine(what);
  if (code == EMFILE || code == ENFILE) {
    line = "out of file descriptors (" + line + "); raise the limit (ulimit -n) and start again";
  }
  return line;
}

// Descriptors a companion needs to start with room to spare: its loops, the socket, the
// endpoint, a host and a few handshakes. Below this it would fail somewhere in the middle of
// its start (or a sanitizer's own checks would, as they need descriptors too), so it says so at
// once instead.
constexpr std::size_t kLeastFreeDescriptors = 32;

// Empty when the process may open enough descriptors, else the one line saying it may not.
std::string checkFreeDescriptors() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return {};
  std::size_t open = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
       it.increment(error)) {
    ++open;
  }
  if (error) return {};
  const std::size_t free = limit.rlim_cur > open ? limit.rlim_cur - open : 0;
  if (free >= kLeastFreeDescriptors) return {};
  return "too few file descriptors: " + std::to_string(free) + " free under the limit of " +
         std::to_string(limit.rlim_cur) + "; it needs at least " +
         std::to_string(kLeastFreeDescriptors) + " (raise it with ulimit -n)";
}

}  // namespace

int watchMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  int status = 0;
  const std::optional<WatchOptions> options = parseWatchCommandLine(argc, argv, out, err, status);
  if (!options) return status;
  if (std::string problem = checkFreeDescriptors(); !problem.empty()) {
    err << "dunvel-watch: " << problem << std::endl;
    return 1;
  }
  // What throws is a resource the system refused (descriptors, threads, memory). By the time the
  // line is written the stack is unwound: the socket and the URL file are gone.
  try {
    return runWatch(options, out, err);
  } catch (const boost::system::system_error& error) {
    err << "dunvel-watch: " << resourceProblem(error.code().value(), error.what()) << std::endl;
  } catch (const std::system_error& error) {
    err << "dunvel-watch: " << resourceProblem(error.code().value(), error.what()) << std::endl;
  } catch (const std::bad_alloc&) {
    err << "dunvel-watch: out of memory" << std::endl;
  } catch (const std::runtime_error& error) {
    // A face that cannot be drawn (its fonts, its window) after the start.
    err << "dunvel-watch: " << oneLine(error.what()) << std::endl;
  }
  return 1;
}

namespace {

// Starts the WebSocket endpoint of --listen on listener, and writes its URL beside the socket
// into urlFile. Empty, or the line saying why it cannot be had (with the endpoint stopped
// again); warnings go to err as they come.
std::string startEndpoint(const WatchOptions& options, SocketSession& session,
                          std::unique_ptr<WebSocketListener>& listener, LinkUrlFile& urlFile,
                          ViewerHub* view, std::ostream& err) {
  WebSocketListener::Options endpoint;
  parseWebSocketAddress(*options.listen, endpoint.address);
  if (options.tlsCertificate) endpoint.tlsCertificate = *options.tlsCertificate;
  if (options.tlsKey) endpoint.tlsKey = *options.tlsKey;
  if (options.tlsKeyPassFile) {
    std::string phrase;
    bool readableByOthers = false;
    if (std::string problem =
            readSecretFile(*options.tlsKeyPassFile, "a pass phrase", phrase, readableByOthers);
        !problem.empty()) {
      return "--tls-key-pass-file " + problem;
    }
    if (readableByOthers) {
      err << "dunvel-watch: warning: " << oneLine(*options.tlsKeyPassFile)
          << " can be read by other users (chmod 600 it)" << std::endl;
    }
    endpoint.tlsKeyPassPhrase = std::move(phrase);
  }
  endpoint.warning = [&err](const std::string& line) {
    err << "dunvel-watch: warning: " << line << std::endl;
  };
  endpoint.token = options.token ? *options.token : makeLinkToken();
  endpoint.allowedOrigins = options.allowedOrigins;
  endpoint.view = view;
  if (!endpoint.address.secure && !isLoopbackAddress(endpoint.address)) {
    err << "dunvel-watch: warning: " << *options.listen
        << " is not encrypted: anyone on that network can read the link and its token (use "
           "wss:// with --tls-cert and --tls-key)"
        << std::endl;
  }
  listener = std::make_unique<WebSocketListener>(std::move(endpoint), session);
  if (std::string problem = listener->listen(); !problem.empty()) return "--listen " + problem;
  if (std::string problem =
          urlFile.write(LinkUrlFile::pathFor(session.path()), listener->url() + "\n");
      !problem.empty()) {
    listener->stop();
    return problem;
  }
  err << "dunvel-watch: WebSocket link on " << listener->url() << std::endl;
  if (view != nullptr) err << "dunvel-watch: view on " << listener->viewUrl() << std::endl;
  return {};
}

// The demo quiz night of --demo, played as the host over the socket, its lines on out.
std::unique_ptr<DemoHost> startDemo(const std::filesystem::path& socket, std::ostream& out) {
  auto demo = std::make_unique<DemoHost>(
      DemoHost::Options{socket, Autoplay::on, {}, [&out](const std::string& line) {
                          // One insertion per line, so lines from the two threads do not
                          // interleave mid-line.
                          out << ("host: " + line + "\n") << std::flush;
                        }});
  demo->start();
  return demo;
}

int runWatch(const std::optional<WatchOptions>& options, std::ostream& realOut, std::ostream& err) {
  // Destroyed in reverse: the session (and its thread, which queues onto the loop) goes first,
  // then the loop with any block still queued for the recording, then the recording.
  SystemClock wallClock;
  RecordingWriter recording(
      wallClock, [] { return std::chrono::steady_clock::now().time_since_epoch(); }, err);
  MainRunLoop loop;
  // The log, also read by the view's panel when there is one.
  BrowserView view;
  LogTee tee(realOut, [&view](const std::string& line) {
    if (view.viewer) view.viewer->logLine(line);
  });
  std::ostream out(&tee);
  if (options->view) {
    if (std::string problem = makeBrowserView(*options, loop, out, view); !problem.empty()) {
      err << "dunvel-watch: --view: " << problem << std::endl;
      return 1;
    }
  }
  // From here on a signal ends the run cleanly; one that comes before run() makes it return at
  // once. The stop is queued behind the blocks already queued: what the link had taken in
  // before the signal (a snapshot and its line in the recording) is applied and shown first.
  TerminationSignals signals([&loop](int) { loop.async([&loop] { loop.stop(); }); });
  SocketSession::Options linkOptions;
  linkOptions.path = resolveLinkPath(options->link);
  linkOptions.folderPolicy =
      options->link ? LinkFolderPolicy::chosenFolder : LinkFolderPolicy::privateFolder;
  linkOptions.waitUntilPendingAtMost = [&loop](std::size_t n) { loop.waitUntilPendingAtMost(n); };
  FaceViewer* viewer = view.viewer.get();
  linkOptions.traffic =
      linkTrafficHook(loop, options->record ? &recording : nullptr, view.viewer.get());
  linkOptions.snapshotReceived = logSnapshotFindings(loop, out, findingsHook(viewer));
  SocketSession session(std::move(linkOptions));
  if (std::string problem = session.listen(); !problem.empty()) {
    err << "dunvel-watch: " << problem << std::endl;
    return 1;
  }
  // A recording that cannot be had (another companion records to the file) stops the start
  // before the companion says it listens, and takes the socket away again.
  if (options->record) {
    if (std::string problem = recording.open(*options->record, "dunvel-watch"); !problem.empty()) {
      session.stop();
      err << "dunvel-watch: " << problem << std::endl;
      return 1;
    }
  }
  out << "dunvel-watch: listening on " << oneLine(session.path().string()) << std::endl;
  if (options->record)
    out << "dunvel-watch: recording to " << oneLine(*options->record) << std::endl;

  // Declared after the session, so it goes first: the session must not post to an endpoint
  // that has gone.
  std::unique_ptr<WebSocketListener> listener;
  // Removed when the run ends, however it ends, and only while it is still this run's.
  LinkUrlFile urlFile;
  if (options->listen) {
    if (std::string problem =
            startEndpoint(*options, session, listener, urlFile, view.hub.get(), err);
        !problem.empty()) {
      session.stop();
      err << "dunvel-watch: " << problem << std::endl;
      return 1;
    }
  }

  SessionPlatform platform{
      [] { return true; }, [&session]() -> Session& { return session; }, &loop, {}};
  platform.observeSend = sendHook(options->record ? &recording : nullptr, viewer, out);
  installSessionPlatform(std::move(platform));

  std::unique_ptr<DemoHost> demo;
  // The demo host writes from its own thread: straight to the standard output, past the tee.
  if (options->demo) demo = startDemo(session.path(), realOut);

  const int ran = runApp(loop, *options, out, err, options->record ? &recording : nullptr, viewer);

  if (demo) demo->stop();
  if (listener) {
    listener->stop();
    urlFile.remove();
  }
  session.stop();
  out << "dunvel-watch: stopped" << std::endl;
  // The log is the headless companion's only output: when it could not be written, say so.
  if (!out) {
    err << "dunvel-watch: the log could not be written to standard output" << std::endl;
    if (ran == 0) return 1;
  }
  return ran;
}

}  // namespace

}  // namespace dunvel
