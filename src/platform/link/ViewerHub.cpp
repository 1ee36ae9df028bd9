#include "platform/link/ViewerHub.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <chrono>
#include <cmath>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "platform/link/WebSocketPeer.h"
#include "state/OneLine.h"

namespace dunvel {

namespace {

// Close codes a viewer's connection ends with (RFC 6455, 7.4.1).
constexpr std::uint16_t kUnsupportedData = 1003;
constexpr std::uint16_t kInvalidPayload = 1007;
constexpr std::uint16_t kPolicyViolation = 1008;

// A rate with a burst of as many at once, refilled as time goes.
class ViewerBudget {
 public:
  explicit ViewerBudget(double perSecond) : perSecond_(perSecond), left_(perSecond) {}
  bool take(std::chrono::steady_clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    left_ = std::min(perSecond_, left_ + seconds * perSecond_);
    if (left_ < 1.0) return false;
    left_ -= 1.0;
    return true;
  }

 private:
  double perSecond_;
  double left_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// What a viewer sent, read; or why it cannot be taken.
struct ReadViewerInput {
  std::optional<ViewerInput> input;
  std::uint16_t code = 0;
  std::string problem;
};

ReadViewerInput refusedInput(std::uint16_t code, std::string problem) {
  return {std::nullopt, code, std::move(problem)};
}

ReadViewerInput readViewerInput(std::string_view text, double width, double height) {
  const nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
  if (!message.is_object())
    return refusedInput(kInvalidPayload, "a message that is no JSON object");
  const auto kind = message.find("kind");
  if (kind == message.end() || !kind->is_string()) {
    return refusedInput(kPolicyViolation, "a message without its kind");
  }
  static const std::map<std::string, ViewerInput::Kind, std::less<>> kinds = {
      {"press", ViewerInput::Kind::press},     {"move", ViewerInput::Kind::move},
      {"release", ViewerInput::Kind::release}, {"cancel", ViewerInput::Kind::cancel},
      {"scroll", ViewerInput::Kind::scroll},   {"tap", ViewerInput::Kind::tap}};
  const auto found = kinds.find(kind->get_ref<const std::string&>());
  if (found == kinds.end()) {
    return refusedInput(kPolicyViolation, "a message of an unknown kind \"" +
                                              oneLine(kind->get<std::string>()) + "\"");
  }
  ViewerInput input;
  input.kind = found->second;
  if (input.kind == ViewerInput::Kind::tap) {
    const auto id = message.find("id");
    if (id == message.end() || !id->is_string() || id->get_ref<const std::string&>().empty()) {
      return refusedInput(kPolicyViolation, "a tap without the id of a button");
    }
    input.identity = id->get<std::string>();
    return {std::move(input), 0, {}};
  }
  if (input.kind == ViewerInput::Kind::cancel) return {std::move(input), 0, {}};
  const auto x = message.find("x");
  const auto y = message.find("y");
  if (x == message.end() || y == message.end() || !x->is_number() || !y->is_number()) {
    return refusedInput(kPolicyViolation, "a point without numbers for x and y");
  }
  input.x = x->get<double>();
  input.y = y->get<double>();
  if (!std::isfinite(input.x) || !std::isfinite(input.y)) {
    return refusedInput(kPolicyViolation, "a point that is not finite");
  }
  if (input.x < 0.0 || input.y < 0.0 || input.x > width || input.y > height) {
    return refusedInput(kPolicyViolation, "a point outside the face");
  }
  if (input.kind == ViewerInput::Kind::scroll) {
    const auto amount = message.find("amount");
    const auto unit = message.find("unit");
    if (amount == message.end() || !amount->is_number()) {
      return refusedInput(kPolicyViolation, "a scroll without a number for its amount");
    }
    input.amount = amount->get<double>();
    // A wheel's turn is a few lines, a page at most: more than a long board is no hand's.
    if (!std::isfinite(input.amount) || std::abs(input.amount) > 10000.0) {
      return refusedInput(kPolicyViolation, "a scroll amount that is not finite or past 10000");
    }
    if (unit != message.end() && *unit == "line") {
      input.unit = ViewerInput::Unit::line;
    } else if (unit != message.end() && *unit != "point") {
      return refusedInput(kPolicyViolation, "a scroll in a unit other than point or line");
    }
  }
  return {std::move(input), 0, {}};
}

}  // namespace

class ViewerHub::State : public std::enable_shared_from_this<ViewerHub::State> {
 public:
  explicit State(Options options) : options_(std::move(options)) {}

  Options options_;
  Events events_;
  std::atomic<boost::asio::io_context*> io_{nullptr};

  // The I/O thread only from here on.
  struct Viewer {
    std::shared_ptr<WebSocketPeer> peer;
    std::string address;
    bool writing = false;
    bool closing = false;
    // The latest message of each key, in the order the keys first came.
    std::vector<std::pair<std::string, ViewerMessage>> states;
    std::deque<ViewerMessage> events;
    std::optional<ViewerMessage> pixels;
    // The pixels waiting are a whole face (what changed after it is added to it).
    bool pixelsWhole = false;
    // Pixels were dropped: only the whole face brings the viewer up to date again.
    bool waitingForWholeFace = true;
    ViewerBudget messages;
    ViewerBudget presses;
  };
  std::map<ViewerId, Viewer> viewers_;
  std::size_t reserved_ = 0;
  ViewerId lastViewer_ = 0;
  bool closed_ = false;

  template <typename Work>
  void onIoThread(Work work) {
    boost::asio::io_context* io = io_.load();
    if (io == nullptr) return;
    boost::asio::post(*io, [self = shared_from_this(), work = std::move(work)]() mutable {
      if (!self->closed_) work(*self);
    });
  }

  template <typename Each>
  void forViewers(ViewerId to, Each each) {
    for (auto& [id, viewer] : viewers_) {
      if (to != 0 && id != to) continue;
      each(id, viewer);
      pump(id, viewer);
    }
  }

  void log(std::string line) {
    if (events_.log) events_.log(std::move(line));
  }

  std::string watching() const { return "(" + std::to_string(viewers_.size()) + " watching)"; }

  // Starts the next write of a viewer that is writing nothing.
  void pump(ViewerId id, Viewer& viewer) {
    if (viewer.writing || viewer.closing) return;
    ViewerMessage next;
    if (!viewer.states.empty()) {
      next = std::move(viewer.states.front().second);
      viewer.states.erase(viewer.states.begin());
    } else if (!viewer.events.empty()) {
      next = std::move(viewer.events.front());
      viewer.events.pop_front();
    } else if (viewer.pixels) {
      next = std::move(*viewer.pixels);
      viewer.pixels.reset();
    } else {
      return;
    }
    (void)id;
    viewer.writing = true;
    viewer.peer->sendView(std::move(next.bytes), next.binary);
  }

  void closeViewer(ViewerId id, Viewer& viewer, std::uint16_t code, const std::string& why) {
    if (viewer.closing) return;
    viewer.closing = true;
    log("a viewer from " + viewer.address + " was closed: " + why + " (" + std::to_string(code) +
        ")");
    viewer.peer->closeWith(code);
    (void)id;
  }
};

ViewerHub::ViewerHub(Options options) : state_(std::make_shared<State>(std::move(options))) {}

ViewerHub::~ViewerHub() = default;

void ViewerHub::setEvents(Events events) {
  state_->events_ = std::move(events);
}

void ViewerHub::sendState(std::string key, ViewerMessage message, ViewerId to) {
  state_->onIoThread([key = std::move(key), message = std::move(message), to](State& state) {
    state.forViewers(to, [&](ViewerId, State::Viewer& viewer) {
      const auto same = std::find_if(viewer.states.begin(), viewer.states.end(),
                                     [&](const auto& kept) { return kept.first == key; });
      if (same != viewer.states.end()) {
        same->second = message;
      } else {
        viewer.states.emplace_back(key, message);
      }
    });
  });
}

void ViewerHub::sendEvent(ViewerMessage message) {
  state_->onIoThread([message = std::move(message)](State& state) {
    const std::size_t most = state.options_.maxQueuedEvents;
    state.forViewers(0, [&](ViewerId, State::Viewer& viewer) {
      viewer.events.push_back(message);
      while (viewer.events.size() > most) viewer.events.pop_front();
    });
  });
}

void ViewerHub::sendChangedPixels(ViewerMessage message) {
  state_->onIoThread([message = std::move(message)](State& state) {
    for (auto& [id, viewer] : state.viewers_) {
      if (viewer.waitingForWholeFace) continue;
      if (viewer.pixels && viewer.pixelsWhole) {
        // Behind a whole face still waiting: it goes with this frame's changes, as the latest.
        auto both = std::make_shared<std::string>(*viewer.pixels->bytes);
        both->append(*message.bytes);
        viewer.pixels->bytes = std::move(both);
        continue;
      }
      if (viewer.pixels) {
        // Two sets of changes behind: neither goes, the whole face will.
        viewer.pixels.reset();
        viewer.waitingForWholeFace = true;
        if (state.events_.wholeFaceWanted) state.events_.wholeFaceWanted(id);
        continue;
      }
      viewer.pixels = message;
      viewer.pixelsWhole = false;
      state.pump(id, viewer);
    }
  });
}

void ViewerHub::sendWholeFace(ViewerMessage message, ViewerId to) {
  state_->onIoThread([message = std::move(message), to](State& state) {
    const auto found = state.viewers_.find(to);
    if (found == state.viewers_.end()) return;
    found->second.pixels = message;
    found->second.pixelsWhole = true;
    found->second.waitingForWholeFace = false;
    state.pump(to, found->second);
  });
}

const ViewFile* ViewerHub::file(std::string_view path) const {
  for (const ViewFile& file : state_->options_.files) {
    if (file.path == path) return &file;
  }
  return nullptr;
}

void ViewerHub::attach(boost::asio::io_context& io) {
  state_->io_.store(&io);
}

bool ViewerHub::reserve(const std::string& address) {
  State& state = *state_;
  if (state.closed_) return false;
  if (state.viewers_.size() + state.reserved_ >= state.options_.maxViewers) {
    state.log("a viewer from " + address +
              " was refused: " + std::to_string(state.options_.maxViewers) + " are watching (503)");
    return false;
  }
  ++state.reserved_;
  return true;
}

void ViewerHub::unreserve() {
  if (state_->reserved_ > 0) --state_->reserved_;
}

ViewerId ViewerHub::arrived(std::shared_ptr<WebSocketPeer> peer, const std::string& address) {
  State& state = *state_;
  unreserve();
  if (state.closed_) return 0;
  const ViewerId id = ++state.lastViewer_;
  state.viewers_.emplace(id, State::Viewer{std::move(peer),
                                           address,
                                           false,
                                           false,
                                           {},
                                           {},
                                           {},
                                           false,
                                           true,
                                           ViewerBudget(state.options_.messagesPerSecond),
                                           ViewerBudget(state.options_.pressesPerSecond)});
  state.log("a viewer joined from " + address + " " + state.watching());
  if (state.events_.joined) state.events_.joined(id);
  return id;
}

void ViewerHub::received(ViewerId id, std::string_view text, bool binary) {
  State& state = *state_;
  const auto found = state.viewers_.find(id);
  if (found == state.viewers_.end() || found->second.closing) return;
  State::Viewer& viewer = found->second;
  const auto now = std::chrono::steady_clock::now();
  if (binary) return state.closeViewer(id, viewer, kUnsupportedData, "a binary message");
  if (!viewer.messages.take(now)) {
    return state.closeViewer(id, viewer, kPolicyViolation, "more messages than a hand sends");
  }
  ReadViewerInput read = readViewerInput(text, state.options_.faceWidth, state.options_.faceHeight);
  if (!read.input) return state.closeViewer(id, viewer, read.code, read.problem);
  const ViewerInput::Kind kind = read.input->kind;
  if ((kind == ViewerInput::Kind::press || kind == ViewerInput::Kind::tap) &&
      !viewer.presses.take(now)) {
    return state.closeViewer(id, viewer, kPolicyViolation, "taps faster than a person taps");
  }
  if (state.events_.input) state.events_.input(id, std::move(*read.input));
}

void ViewerHub::written(ViewerId id) {
  const auto found = state_->viewers_.find(id);
  if (found == state_->viewers_.end()) return;
  found->second.writing = false;
  state_->pump(id, found->second);
}

void ViewerHub::left(ViewerId id, const std::string& why) {
  State& state = *state_;
  const auto found = state.viewers_.find(id);
  if (found == state.viewers_.end()) return;
  const bool closedHere = found->second.closing;
  const std::string address = found->second.address;
  state.viewers_.erase(found);
  if (!closedHere && !why.empty()) {
    state.log("a viewer from " + address + " was closed: " + why);
  }
  state.log("a viewer left " + state.watching());
  if (state.events_.left) state.events_.left(id);
}

std::vector<std::shared_ptr<WebSocketPeer>> ViewerHub::close() {
  State& state = *state_;
  std::vector<std::shared_ptr<WebSocketPeer>> peers;
  for (auto& [id, viewer] : state.viewers_) peers.push_back(std::move(viewer.peer));
  state.viewers_.clear();
  state.closed_ = true;
  return peers;
}

std::size_t ViewerHub::maxMessageBytes() const {
  return state_->options_.maxMessageBytes;
}

}  // namespace dunvel
