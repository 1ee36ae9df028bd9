#include "watch/FaceAppRunner.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "app/HeadlessAppRunner.h"
#include "face/FaceHapticEngine.h"
#include "face/WatchFace.h"
#include "files/FrameFileName.h"
#include "platform/accessibility/AtkFaceAccessibility.h"
#include "platform/device/LogHapticEngine.h"
#include "platform/recording/HapticRecorder.h"
#include "platform/runloop/MainRunLoop.h"
#include "platform/view/FaceViewer.h"
#include "platform/window/SdlWindow.h"
#include "render/FaceRenderer.h"
#include "watch/RunApp.h"

namespace dunvel {

namespace {

// Writes each frame it is given as the next numbered PNG of a folder; after a write fails it
// says so once and writes no more, so a full disk does not end the companion.
class FrameFolder {
 public:
  FrameFolder(std::filesystem::path folder, std::ostream& err)
      : folder_(std::move(folder)), err_(err) {}

  void write(const FaceRenderer& renderer) {
    if (failed_) return;
    const std::string name = frameFileName(++count_);
    if (std::string problem = renderer.writePng((folder_ / name).string()); !problem.empty()) {
      err_ << "dunvel-watch: --frames: " << problem << "; no further frames are written"
           << std::endl;
      failed_ = true;
    }
  }

 private:
  std::filesystem::path folder_;
  std::ostream& err_;
  std::size_t count_ = 0;
  bool failed_ = false;
};

// Haptics also go to the browser view's viewers, whose phones buzz with them.
class ViewerHapticEngine final : public HapticEngine {
 public:
  ViewerHapticEngine(FaceViewer* viewer, HapticEngine& next) : viewer_(viewer), next_(next) {}
  void playHaptic(HapticType type) override {
    if (viewer_ != nullptr) viewer_->haptic(type);
    next_.playHaptic(type);
  }

 private:
  FaceViewer* viewer_;
  HapticEngine& next_;
};

}  // namespace

FaceAppRunner::FaceAppRunner(MainRunLoop& loop, const Clock& clock, std::ostream& log,
                             std::ostream& err, Options options)
    : loop_(loop), clock_(clock), log_(log), err_(err), options_(std::move(options)) {}

void FaceAppRunner::onTap(std::function<void(const Element& button)> listener) {
  tapListeners_.push_back(std::move(listener));
}

int FaceAppRunner::run(const App& app) {
  std::unique_ptr<FrameFolder> frames;
  if (options_.frames) {
    std::error_code error;
    std::filesystem::create_directories(*options_.frames, error);
    if (error || !std::filesystem::is_directory(*options_.frames)) {
      err_ << "dunvel-watch: --frames: cannot make the folder " << options_.frames->string()
           << (error ? ": " + error.message() : std::string(": something else is there"))
           << std::endl;
      return 1;
    }
    frames = std::make_unique<FrameFolder>(*options_.frames, err_);
  }

  FaceRenderer renderer(options_.size, options_.scale);
  if (options_.textSize) renderer.setTextSize(*options_.textSize);
  WatchFace face(renderer, loop_, loop_);
  face.keepTime(clock_);
  for (const auto& listener : tapListeners_) face.onTap(listener);
  std::unique_ptr<SdlWindow> window;
  if (options_.display == FaceDisplay::window) {
    try {
      window = std::make_unique<SdlWindow>("Dunvel", face, renderer, [this] { loop_.stop(); });
    } catch (const std::runtime_error& error) {
      err_ << "dunvel-watch: " << error.what() << " (--headless runs without one)" << std::endl;
      return 1;
    }
    face.onFrame([&window](const FaceRenderer& painted) { window->present(painted); });
    // Screen readers read the face and click its buttons over the accessibility bus, when
    // the desktop has one; the window then serves its traffic in its sleep.
    AtkFaceAccessibility::Options accessible;
    accessible.tree.frameName = "Dunvel";
    accessible.tree.face = renderer.face().size;
    accessible.tree.scale = renderer.scale();
    accessible.tree.screenOrigin = [&window] { return window->screenOrigin(); };
    accessible.tap = [&face](std::string_view identity) { face.tap(identity); };
    window->setAccessibility(AtkFaceAccessibility::open(loop_, std::move(accessible), err_));
  }
  if (frames) face.onFrame([&frames](const FaceRenderer& painted) { frames->write(painted); });
  if (options_.onFrame) face.onFrame(options_.onFrame);

  if (options_.viewer != nullptr) {
    options_.viewer->attach(
        face, renderer,
        window || frames ? FaceViewer::SeenBy::others : FaceViewer::SeenBy::viewersOnly);
  }
  struct Detach {
    FaceViewer* viewer;
    ~Detach() {
      if (viewer != nullptr) viewer->detach();
    }
  } detach{options_.viewer};

  LogHapticEngine logged(log_);
  ViewerHapticEngine viewed(options_.viewer, logged);
  FaceHapticEngine pulsed(face, viewed);
  std::optional<HapticRecorder> recorded;
  if (options_.recording != nullptr) recorded.emplace(pulsed, *options_.recording);
  HapticEngine& haptics = recorded ? static_cast<HapticEngine&>(*recorded) : pulsed;
  HeadlessAppRunner runner(loop_, loop_, clock_, haptics, log_, [this] { loop_.run(); });
  if (options_.recording != nullptr) recordScreenChanges(runner, *options_.recording);
  runner.onEvaluated([&face](const Element& tree) { face.show(tree); });

  // From here until the window goes, the loop sleeps in the window's event wait.
  struct Waiting {
    MainRunLoop& loop;
    ~Waiting() { loop.setWaiter(nullptr); }
  } waiting{loop_};
  if (window) loop_.setWaiter(window.get());
  const int ran = runner.run(app);
  // The X server or the compositor went away: the window stopped the loop as Ctrl-C does.
  if (window && window->displayLost()) {
    err_ << "dunvel-watch: the display went away (" << window->shownOn()
         << "); the window is gone, so the companion stops" << std::endl;
  }
  return ran;
}

}  // namespace dunvel
