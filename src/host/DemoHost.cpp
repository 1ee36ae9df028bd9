#include "host/DemoHost.h"

#include <chrono>
#include <optional>

#include "host/HostConnection.h"
#include "state/SnapshotJson.h"
#include "wire/LinkFrame.h"

namespace dunvel {

namespace {

// Often enough that autoplay and the timed moves happen close to their second.
constexpr std::chrono::milliseconds kTick{250};

double systemNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

class DemoHost::Impl {
 public:
  explicit Impl(Options options)
      : options_(std::move(options)),
        connection_(
            options_.path.string(), Reconnect::automatically,
            HostConnection::Handlers{
                [this] { connected(); },
                [this](const ContextDictionary& command) { commanded(command); },
                [this](HostProblem, const std::string& problem) { log("companion: " + problem); },
                [this](HostDisconnect, const std::string& reason) { disconnected(reason); }}) {
    if (!options_.now) options_.now = systemNow;
  }

  void start() {
    connection_.post([this] {
      night_.emplace(options_.now(), options_.autoplay);
      log(night_->lastEvent());
    });
    connection_.every(kTick, [this] { tick(); });
    connection_.start();
  }

  void stop() { connection_.stop(); }

 private:
  // I/O thread from here on.
  void log(const std::string& line) {
    if (options_.log) options_.log(line);
  }

  void push() {
    if (night_) connection_.send(LinkFrame::contextLine(night_->context()));
  }

  void connected() {
    // A WebSocket URL carries the link's token, which stays out of the log.
    const std::string link = options_.path.string();
    log("connected to the companion on " + link.substr(0, link.find('?')));
    waitingReported_ = false;
    push();
  }

  void disconnected(const std::string& reason) {
    // A companion that is away is retried quietly after the first report.
    if (waitingReported_) return;
    waitingReported_ = true;
    log(reason + "; waiting for the companion");
  }

  void commanded(const ContextDictionary& command) {
    log("command " + writeContextJson(command));
    if (!night_) return;
    if (night_->handle(command, options_.now())) {
      log(night_->lastEvent());
      push();
    } else {
      log("command ignored: it does not fit the moment");
    }
  }

  void tick() {
    if (night_ && night_->advance(options_.now())) {
      log(night_->lastEvent());
      push();
    }
  }

  Options options_;
  std::optional<QuizNight> night_;
  bool waitingReported_ = false;
  // Last: its thread calls into the members above, so it must stop before they go.
  HostConnection connection_;
};

DemoHost::DemoHost(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}
DemoHost::~DemoHost() {
  impl_->stop();
}
void DemoHost::start() {
  impl_->start();
}
void DemoHost::stop() {
  impl_->stop();
}

}  // namespace dunvel
