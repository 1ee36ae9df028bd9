#include "app/HeadlessAppRunner.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstddef>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "state/OneLine.h"

namespace dunvel {
namespace {

std::size_t elementCount(const Element& element) {
  std::size_t count = 1;
  for (const Element& child : element.children) count += elementCount(child);
  return count;
}

// Past this many elements a tree is large: a board of thousands of teams.
constexpr std::size_t kLargeTree = 20'000;

}  // namespace

HeadlessAppRunner::HeadlessAppRunner(MainQueue& mainQueue, TimerScheduler& timers,
                                     const Clock& clock, HapticEngine& currentDevice,
                                     std::ostream& log, std::function<void()> runMainThread)
    : mainQueue_(mainQueue),
      timers_(timers),
      clock_(clock),
      currentDevice_(currentDevice),
      log_(log),
      runMainThread_(std::move(runMainThread)) {}

HeadlessAppRunner::~HeadlessAppRunner() = default;

int HeadlessAppRunner::run(const App& app) {
  start(app);
  if (runMainThread_) runMainThread_();
  return 0;
}

void HeadlessAppRunner::start(const App& app) {
  if (graph_) throw std::logic_error("HeadlessAppRunner: the app is already started");
  EnvironmentValues environment;
  environment.setClock(clock_).setTimerScheduler(timers_).setCurrentDevice(currentDevice_);
  // The scene is asked for its content once; the graph then re-evaluates the same root after
  // every announcement of the store and every change of view-local state.
  graph_ = std::make_unique<ViewGraph>(app.body().content(), environment, mainQueue_);
  graph_->onEvaluated([this](const Element& tree) { evaluated(tree); });
  graph_->evaluate();
}

void HeadlessAppRunner::onEvaluated(std::function<void(const Element&)> listener) {
  listeners_.push_back(std::move(listener));
}

const Element& HeadlessAppRunner::tree() const {
  return graph().tree();
}

const ViewGraph& HeadlessAppRunner::graph() const {
  if (!graph_) throw std::logic_error("HeadlessAppRunner: the app is not started");
  return *graph_;
}

void HeadlessAppRunner::evaluated(const Element& tree) {
  for (const auto& listener : listeners_) listener(tree);
  // A large tree (and the snapshot behind it) was replaced by a much smaller one. glibc keeps
  // the freed memory of its many small blocks in its heap, which only shrinks from the top: one
  // block still in use high up holds the rest. Returned to the system here, a companion that
  // was sent one huge board goes back to its usual size instead of keeping gigabytes for the
  // rest of the night.
  const std::size_t elements = elementCount(tree);
  const bool shrank = lastElementCount_ >= kLargeTree && elements < lastElementCount_ / 2;
  lastElementCount_ = elements;
  ScreenDescription description = describeScreen(tree);
  if (!logged_ || !logged_->sameScreenAs(description)) {
    // One insertion per line, flushed: the line lands whole and in order, also when another
    // thread (a demo host in the same process) writes lines to the same stream.
    log_ << ("screen " + oneLine(description.line()) + "\n") << std::flush;
    logged_ = std::move(description);
    if (screenChanged_) screenChanged_(*logged_);
  }
#if defined(__GLIBC__)
  if (shrank) malloc_trim(0);
#endif
}

void HeadlessAppRunner::onScreenChange(std::function<void(const ScreenDescription&)> listener) {
  screenChanged_ = std::move(listener);
}

}  // namespace dunvel
