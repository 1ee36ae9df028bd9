#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <vector>

#include "app/App.h"
#include "app/AppRunner.h"
#include "app/ScreenDescription.h"
#include "link/MainQueue.h"
#include "observation/Clock.h"
#include "observation/TimerScheduler.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/HapticEngine.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {

// An app runner without a display: it evaluates the app's window with a view graph on the main
// queue and writes one line to the log each time the screen changes (the screen and its texts;
// see ScreenDescription). Haptics go wherever the given engine sends them. The services must
// outlive the runner. Main thread only.
class HeadlessAppRunner final : public AppRunner {
 public:
  // runMainThread runs the main queue and its timers until the process is to end.
  HeadlessAppRunner(MainQueue& mainQueue, TimerScheduler& timers, const Clock& clock,
                    HapticEngine& currentDevice, std::ostream& log,
                    std::function<void()> runMainThread);
  ~HeadlessAppRunner() override;

  // start(app), then the main thread until it returns; 0.
  int run(const App& app) override;

  // Installs the app's window and evaluates it once, logging the first screen, without running
  // the main thread: for tests and one-shot tools, which then drive the queue themselves.
  void start(const App& app);

  // Called after every evaluation with the new tree (valid until the next one), the first tree
  // included when set before start: where a face that draws the window attaches.
  void onEvaluated(std::function<void(const Element&)> listener);

  // The window's element tree; std::logic_error before start.
  const Element& tree() const;
  const ViewGraph& graph() const;

  // Called with each screen change the runner logs, just after its line; set before start.
  void onScreenChange(std::function<void(const ScreenDescription&)> listener);

 private:
  void evaluated(const Element& tree);

  MainQueue& mainQueue_;
  TimerScheduler& timers_;
  const Clock& clock_;
  HapticEngine& currentDevice_;
  std::ostream& log_;
  std::function<void()> runMainThread_;
  std::unique_ptr<ViewGraph> graph_;
  std::optional<ScreenDescription> logged_;
  std::vector<std::function<void(const Element&)>> listeners_;
  std::function<void(const ScreenDescription&)> screenChanged_;
  // Elements in the last tree: a large one replaced by a small one gives its memory back.
  std::size_t lastElementCount_ = 0;
};

}  // namespace dunvel
