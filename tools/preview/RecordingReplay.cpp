#include "preview/RecordingReplay.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/DunvelWatchApp.h"
#include "app/HeadlessAppRunner.h"
#include "app/ScreenDescription.h"
#include "link/ConnectivityStore.h"
#include "platform/runloop/ManualRunLoop.h"
#include "preview/ReplaySession.h"
#include "state/SnapshotJson.h"
#include "views/AwardControl.h"
#include "views/NoAnswerControl.h"
#include "views/QuestionClock.h"
#include "views/RevealControl.h"
#include "views/toolkit/HapticEngine.h"
#include "views/toolkit/TypeName.h"

namespace dunvel {

namespace {

// Inputs closer together than this, with no output between them, are fed in one go.
constexpr double kTogetherMs = 20;
constexpr std::size_t kMostTogether = 256;
constexpr std::size_t kKinds = 3;

std::string hapticText(int type) {
  return std::string(RecordingEvent::hapticName(type)) + " (" + std::to_string(type) + ")";
}

std::optional<ReplayOutput> recordedOutput(const RecordingEvent& event, std::size_t line) {
  switch (event.kind) {
    case RecordingEvent::Kind::screen:
      return ReplayOutput{ReplayOutput::Kind::screen, event.t, event.shows, line};
    case RecordingEvent::Kind::command:
      return ReplayOutput{ReplayOutput::Kind::command, event.t, writeContextJson(event.message),
                          line};
    case RecordingEvent::Kind::haptic:
      return ReplayOutput{ReplayOutput::Kind::haptic, event.t, hapticText(event.haptic), line};
    default:
      return std::nullopt;
  }
}

// Whether an element is the body of a view of type V.
template <class V>
bool isView(const Element& e) {
  static const std::string type = typeName(typeid(V));
  return e.kind == ElementKind::view && e.viewType == type;
}

// The seconds a question clock's text ("M:SS", as clockText writes it) shows; nothing for
// another text.
std::optional<std::int64_t> clockSeconds(const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 12 || text.size() != colon + 3 ||
      text.find_first_not_of("0123456789", colon + 1) != std::string::npos ||
      text.find_first_not_of("0123456789") != colon) {
    return std::nullopt;
  }
  return std::stoll(text.substr(0, colon)) * 60 + std::stoll(text.substr(colon + 1));
}

// What else the recording may have for a replayed screen: the same screen with its question
// clock one second either way. The companion samples the clock at its once-a-second tick, whose
// phase against a snapshot's arrival a replay does not reproduce exactly.
std::vector<std::string> clockNeighbours(const ScreenDescription& shown) {
  const std::optional<std::int64_t> seconds = clockSeconds(shown.clock);
  if (!seconds) return {};
  std::vector<std::string> lines;
  ScreenDescription neighbour = shown;
  for (const std::int64_t other : {*seconds - 1, *seconds + 1}) {
    neighbour.clock = clockText(other);
    lines.push_back(neighbour.line());
  }
  return lines;
}

bool sameOutput(const ReplayOutput& recorded, const ReplayOutput& replayed) {
  return recorded.text == replayed.text ||
         std::find(replayed.alsoMatches.begin(), replayed.alsoMatches.end(), recorded.text) !=
             replayed.alsoMatches.end();
}

std::string describe(const ReplayOutput& output) {
  return std::string(ReplayOutput::kindName(output.kind)) + " \"" + output.text + "\"";
}

}  // namespace

struct RecordingReplay::Impl final : HapticEngine {
  Impl(const RecordingEvent& start, Options options,
       std::function<void(const ReplayOutput&)> onOutput)
      : options(options),
        onOutput(std::move(onOutput)),
        loop(start.startWall),
        session([this](const ContextDictionary& message) {
          produce(ReplayOutput::Kind::command, writeContextJson(message));
        }),
        runner(loop, loop, loop, *this, silent, {}),
        app(StateObject<ConnectivityStore>([this]() -> ConnectivityStore& {
          // Made when the app's window first builds its content, as the shared store is.
          store.emplace(SessionPlatform{
              [] { return true; }, [this]() -> Session& { return session; }, &loop, {}});
          return *store;
        })) {
    runner.onScreenChange([this](const ScreenDescription& shown) {
      produce(ReplayOutput::Kind::screen, shown.line(), clockNeighbours(shown));
    });
    runner.start(app);
    // The socket session completes activation on its own thread right after it is asked.
    session.completeActivation();
    loop.drain();
  }

  void playHaptic(HapticType type) override {
    produce(ReplayOutput::Kind::haptic, hapticText(static_cast<int>(type)));
  }

  double now() const { return std::chrono::duration<double, std::milli>(loop.uptime()).count(); }

  void produce(ReplayOutput::Kind kind, std::string text,
               std::vector<std::string> alsoMatches = {}) {
    ReplayOutput output{kind,
                        now(),
                        std::move(text),
                        0,
                        betweenInputs && kind == ReplayOutput::Kind::screen,
                        std::move(alsoMatches)};
    if (onOutput) onOutput(output);
    produced[static_cast<std::size_t>(kind)].push_back(std::move(output));
  }

  void advanceTo(double t) {
    // t is at most a week of milliseconds (the reader's bound), far inside nanoseconds' range.
    const std::chrono::nanoseconds target(static_cast<std::int64_t>(std::llround(t * 1e6)));
    if (target > loop.uptime()) loop.advance(target - loop.uptime());
  }

  void differ(std::size_t line, std::string what) {
    if (!difference.empty()) return;
    difference = std::move(what);
    differenceLine = line;
  }

  void applyTogether() {
    if (together.empty()) return;
    advanceTo(together.back().first.t);
    for (std::size_t i = 0; i < together.size(); ++i) {
      const RecordingEvent& event = together[i].first;
      if (i > 0) {
        betweenInputs = true;
        loop.drain();
        betweenInputs = false;
      }
      switch (event.kind) {
        case RecordingEvent::Kind::connect:
          session.hostConnected();
          break;
        case RecordingEvent::Kind::disconnect:
          session.hostDisconnected();
          break;
        case RecordingEvent::Kind::frame:
          session.receive(event.frame);
          break;
        default:
          break;
      }
    }
    together.clear();
    loop.drain();
  }

  void tap(const RecordingEvent& event, std::size_t line) {
    const Element& tree = runner.tree();
    const Element* control = nullptr;
    if (event.control == "reveal") {
      control = tree.find(isView<RevealControl>);
    } else if (event.control == "noAnswer") {
      control = tree.find(isView<NoAnswerControl>);
    } else if (event.control == "award" && event.teamId && store) {
      // Award controls follow the snapshot's teams in order; the first team with the id is the
      // one a tap on that id reaches.
      const auto& teams = store->state.get().teams;
      const auto awards = tree.findAll(isView<AwardControl>);
      for (std::size_t i = 0; i < teams.size() && i < awards.size(); ++i) {
        if (teams[i].id() == *event.teamId) {
          control = awards[i];
          break;
        }
      }
    }
    const Element* button = control == nullptr ? nullptr : control->find([](const Element& e) {
      return e.kind == ElementKind::button;
    });
    if (button == nullptr) {
      differ(line, "the recording taps " + event.control +
                       (event.teamId ? " (team " + *event.teamId + ")" : std::string()) + " at " +
                       millisText(event.t) + ", but the replayed screen has no such control");
      return;
    }
    button->tap();
    loop.drain();
  }

  // Pairs recorded and produced outputs of each kind in order; the earliest problem wins.
  void match(bool ended) {
    std::optional<std::pair<double, std::pair<std::size_t, std::string>>> first;
    auto note = [&](double at, std::size_t line, std::string what) {
      if (!first || at < first->first) first = {at, {line, std::move(what)}};
    };
    const double horizon = now() - options.toleranceMs;
    for (std::size_t k = 0; k < kKinds; ++k) {
      auto& wanted = expected[k];
      auto& got = produced[k];
      while (!wanted.empty() && !got.empty()) {
        const ReplayOutput& e = wanted.front();
        const ReplayOutput& p = got.front();
        const bool same = sameOutput(e, p);
        if (!same && p.transient) {
          got.pop_front();
          continue;
        }
        if (!same) {
          note(e.t, e.line,
               "the recording has " + describe(e) + " at " + millisText(e.t) + "; the replay has " +
                   describe(p) + " at " + millisText(p.t));
          break;
        }
        if (std::abs(e.t - p.t) > options.toleranceMs) {
          note(std::min(e.t, p.t), e.line,
               "the recording has " + describe(e) + " at " + millisText(e.t) +
                   "; the replay has it at " + millisText(p.t));
          break;
        }
        wanted.pop_front();
        got.pop_front();
        ++compared;
      }
      if (!wanted.empty() && got.empty() && (ended || wanted.front().t < horizon)) {
        const ReplayOutput& e = wanted.front();
        note(e.t, e.line,
             "the recording has " + describe(e) + " at " + millisText(e.t) +
                 "; the replay has no " + ReplayOutput::kindName(e.kind) + " by " +
                 millisText(now()));
      }
      // A screen between inputs fed together that the recording has not had in time.
      while (!got.empty() && wanted.empty() && got.front().transient &&
             (got.front().t < horizon || ended)) {
        got.pop_front();
      }
      // After the end, what the replay does from the last recorded moment on may simply not
      // have been written yet when the recording stopped.
      if (!got.empty() && wanted.empty() &&
          (got.front().t < horizon || (ended && got.front().t < lastTime))) {
        const ReplayOutput& p = got.front();
        note(p.t, lastLine,
             "the replay has " + describe(p) + " at " + millisText(p.t) +
                 ", which the recording does not have");
      }
    }
    if (first) differ(first->second.first, std::move(first->second.second));
  }

  Options options;
  std::function<void(const ReplayOutput&)> onOutput;
  ManualRunLoop loop;
  ReplaySession session;
  std::optional<ConnectivityStore> store;
  std::ostream silent{nullptr};
  HeadlessAppRunner runner;
  DunvelWatchApp app;

  std::array<std::deque<ReplayOutput>, kKinds> expected;
  std::array<std::deque<ReplayOutput>, kKinds> produced;
  std::vector<std::pair<RecordingEvent, std::size_t>> together;
  // Inside a group of inputs fed together, after its first.
  bool betweenInputs = false;
  double lastTime = 0;
  std::size_t lastLine = 0;
  std::size_t compared = 0;
  std::string difference;
  std::size_t differenceLine = 0;
};

RecordingReplay::RecordingReplay(const RecordingEvent& start, Options options,
                                 std::function<void(const ReplayOutput&)> onOutput)
    : impl_(std::make_unique<Impl>(start, options, std::move(onOutput))) {}

RecordingReplay::~RecordingReplay() = default;

bool RecordingReplay::feed(const RecordingEvent& event, std::size_t line) {
  Impl& s = *impl_;
  if (!s.difference.empty()) return false;
  s.lastTime = event.t;
  s.lastLine = line;
  switch (event.kind) {
    case RecordingEvent::Kind::start:
      break;
    case RecordingEvent::Kind::connect:
    case RecordingEvent::Kind::disconnect:
    case RecordingEvent::Kind::frame:
      if (!s.together.empty() && (event.t - s.together.back().first.t > kTogetherMs ||
                                  s.together.size() >= kMostTogether)) {
        s.applyTogether();
      }
      s.together.emplace_back(event, line);
      break;
    case RecordingEvent::Kind::tap:
      s.applyTogether();
      s.advanceTo(event.t);
      s.tap(event, line);
      break;
    case RecordingEvent::Kind::command:
    case RecordingEvent::Kind::haptic:
    case RecordingEvent::Kind::screen:
      s.applyTogether();
      s.advanceTo(event.t);
      if (std::optional<ReplayOutput> output = recordedOutput(event, line)) {
        s.expected[static_cast<std::size_t>(output->kind)].push_back(std::move(*output));
      }
      break;
  }
  s.match(false);
  return s.difference.empty();
}

bool RecordingReplay::finish() {
  Impl& s = *impl_;
  if (!s.difference.empty()) return false;
  s.applyTogether();
  s.advanceTo(s.lastTime + s.options.toleranceMs);
  s.match(true);
  return s.difference.empty();
}

const std::string& RecordingReplay::difference() const {
  return impl_->difference;
}
std::size_t RecordingReplay::differenceLine() const {
  return impl_->differenceLine;
}
std::size_t RecordingReplay::compared() const {
  return impl_->compared;
}

}  // namespace dunvel
