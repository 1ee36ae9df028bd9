#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/runloop/MainThreadWaiter.h"
#include "platform/window/WatchFace.h"

struct SDL_Window;
union SDL_Event;

namespace dunvel {

// The watch's screen on a Linux desktop: an SDL window whose client area is exactly the face
// (point (x, y) is pixel (x·scale, y·scale)). It feeds the pointer, the wheel and the keys to
// the face and shows the frames the face paints. As the main run loop's waiter it sleeps in
// SDL's event wait, which blocks in the kernel on the display connection: only the video
// subsystem is started, since the others make SDL poll. One per process. Main thread only,
// except wake().
class SdlWindow final : public MainThreadWaiter {
 public:
  // Opens the window, sized to the face's renderer. onClose runs on Escape or when the window
  // is closed. std::runtime_error with SDL's reason when there is no window to be had.
  SdlWindow(const std::string& title, WatchFace& face, const FaceRenderer& renderer,
            std::function<void()> onClose);
  ~SdlWindow() override;
  SdlWindow(const SdlWindow&) = delete;
  SdlWindow& operator=(const SdlWindow&) = delete;

  // Shows the renderer's image.
  void present(const FaceRenderer& renderer);

  void wait(std::optional<std::chrono::steady_clock::time_point> deadline) override;
  void wake() override;

 private:
  // False for the wake event, after which the loop is to look at its queue.
  bool handle(const SDL_Event& event);
  Point pointOf(int x, int y) const;
  void quit();

  WatchFace& face_;
  double scale_;
  std::function<void()> onClose_;
  SDL_Window* window_ = nullptr;
  std::uint32_t wakeEventType_ = 0;
  // One wake event in SDL's queue at a time, however often the loop is woken.
  std::atomic<bool> wakePending_{false};
  Point pointer_;
};

}  // namespace dunvel
