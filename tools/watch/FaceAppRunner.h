#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <vector>

#include "app/AppRunner.h"
#include "observation/Clock.h"
#include "render/FaceSize.h"
#include "views/toolkit/Element.h"

namespace dunvel {

class FaceRenderer;
class FaceViewer;
class MainRunLoop;
class RecordingWriter;

// Where the face is shown.
enum class FaceDisplay { window, none };

// Runs the app on a painted face: the headless runner's view graph and log lines, and a face
// that lays out and paints each new tree, shown in a window (taps, scrolling, haptic pulses)
// and, when asked, written as numbered PNG frames. Main thread only.
class FaceAppRunner final : public AppRunner {
 public:
  struct Options {
    FaceSize size = FaceSize::mm45;
    double scale = 2.0;
    // The case's default when absent.
    std::optional<TextSize> textSize;
    FaceDisplay display = FaceDisplay::window;
    // Each painted frame as frame-000001.png, frame-000002.png, ... in this folder.
    std::optional<std::filesystem::path> frames;
    // Where screen changes and haptics are also noted, if anywhere; must outlive the runner.
    RecordingWriter* recording = nullptr;
    // The browser view's side of the face, if any; must outlive the runner. Without a window or
    // frames, the face is painted only while a viewer watches.
    FaceViewer* viewer = nullptr;
    // Called on the main thread after each frame is painted, shown and written.
    std::function<void(const FaceRenderer&)> onFrame;
  };

  // The loop, clock and streams must outlive the runner. Problems go to err, one line each.
  FaceAppRunner(MainRunLoop& loop, const Clock& clock, std::ostream& log, std::ostream& err,
                Options options);

  // Called with each button the user taps, before its action runs.
  void onTap(std::function<void(const Element& button)> listener);

  // Runs the main loop until it is stopped, the window is closed (Escape too) or its display
  // goes away (the X server or the Wayland compositor ends): 0. Returns 1
  // at once when the window cannot be opened or the frames folder cannot be made.
  int run(const App& app) override;

 private:
  MainRunLoop& loop_;
  const Clock& clock_;
  std::ostream& log_;
  std::ostream& err_;
  Options options_;
  std::vector<std::function<void(const Element&)>> tapListeners_;
};

}  // namespace dunvel
