#include "app/HeadlessAppRunner.h"

#include <ostream>
#include <stdexcept>
#include <utility>

namespace dunvel {

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
  ScreenDescription description = describeScreen(tree);
  if (logged_ && logged_->sameScreenAs(description)) return;
  // One insertion per line, flushed: the line lands whole and in order, also when another
  // thread (a demo host in the same process) writes lines to the same stream.
  log_ << ("screen " + description.line() + "\n") << std::flush;
  logged_ = std::move(description);
  if (screenChanged_) screenChanged_(*logged_);
}

void HeadlessAppRunner::onScreenChange(std::function<void(const ScreenDescription&)> listener) {
  screenChanged_ = std::move(listener);
}

}  // namespace dunvel
