#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "face/WatchFace.h"
#include "files/FileDescriptor.h"
#include "platform/runloop/MainThreadWaiter.h"
#include "platform/window/FramePresenter.h"
#include "platform/window/SdlVideo.h"
#include "platform/window/WindowAccessibility.h"

struct SDL_Window;
union SDL_Event;
struct SDL_SysWMinfo;
struct _XDisplay;
struct wl_display;

namespace dunvel {

// The watch's screen on a Linux desktop: an SDL window whose client area is exactly the face
// (point (x, y) is pixel (x·scale, y·scale)). It feeds the pointer, the wheel and the keys to
// the face and shows the frames the face paints. As the main run loop's waiter it sleeps in the
// kernel on the display's connection and a wake-up eventfd: only the video subsystem is
// started, since the others make SDL poll. One per process. Main thread only, except wake().
class SdlWindow final : public MainThreadWaiter {
 public:
  // Opens the window, sized to the face's renderer. onClose runs on Escape, when the window is
  // closed, and when the display goes away (the X server or the Wayland compositor ends).
  // std::runtime_error with the reason when there is no window to be had.
  SdlWindow(const std::string& title, WatchFace& face, const FaceRenderer& renderer,
            std::function<void()> onClose);
  ~SdlWindow() override;
  SdlWindow(const SdlWindow&) = delete;
  SdlWindow& operator=(const SdlWindow&) = delete;

  // Shows the renderer's image, and tells the accessibility (if any) what the face shows now.
  void present(const FaceRenderer& renderer);

  // From now on the face is also told to assistive technologies through accessibility, whose
  // traffic the window's sleep serves too; null for none (the default). Given the face's
  // present elements at once when a frame was shown already.
  void setAccessibility(std::unique_ptr<WindowAccessibility> accessibility);
  // Where the window's client area is on the screen, in pixels (on Wayland, which does not
  // tell clients where their windows are, 0, 0).
  Point screenOrigin() const;

  void wait(std::optional<std::chrono::steady_clock::time_point> deadline) override;
  void wake() override;

  // Whether the display's connection was lost; what the window was shown on, as "DISPLAY=:1".
  bool displayLost() const { return lost_; }
  const std::string& shownOn() const { return shownOn_; }

 private:
  // Destroys SDL's window, unless the display was lost (SDL is left as it is then).
  struct WindowDestroy {
    const std::atomic<bool>* lost;
    void operator()(SDL_Window* window) const;
  };

  // Picks the way frames are shown on this window system.
  std::unique_ptr<FramePresenter> makePresenter(const SDL_SysWMinfo& info);
  void handle(const SDL_Event& event);
  void handleKey(int key);
  // Handles the events SDL has or can read without waiting; how many there were.
  std::size_t serve();
  // Sleeps until the display has something to read, wake() or the deadline: true for the first.
  bool sleep(std::optional<std::chrono::steady_clock::time_point> deadline);
  Point pointOf(int x, int y) const;
  // Notes a lost connection once the window exists; true when it is lost.
  bool checkLost();
  void showAccessibility(const FaceRenderer& renderer);
  static void keepRunningAfterIoError(_XDisplay* display, void* window);
  void ignoreKeyboardFocus(unsigned long xWindow);

  WatchFace& face_;
  const FaceRenderer& renderer_;
  double scale_;
  std::function<void()> onClose_;
  // Set on the main thread, read by wake() on any.
  std::atomic<bool> lost_{false};
  // Written by wake(), polled with the display's connection.
  FileDescriptor wakeFd_;
  // The members below are destroyed in the reverse of this order, on every way out of the
  // constructor too: the accessibility while the window still exists, then what the presenter
  // made on SDL's connections, then the window, then SDL itself (which closes them).
  SdlVideo video_;
  std::unique_ptr<SDL_Window, WindowDestroy> window_;
  // The window's own connection: to the X server, or to the Wayland compositor.
  _XDisplay* xDisplay_ = nullptr;
  wl_display* wlDisplay_ = nullptr;
  std::unique_ptr<FramePresenter> presenter_;
  bool shownOnce_ = false;
  std::string shownOn_;
  Point pointer_;
  std::unique_ptr<WindowAccessibility> accessibility_;
  // What the sleep polls: the display's connection, the wake-up eventfd, then the
  // accessibility's descriptors (kept to reuse its storage).
  std::vector<pollfd> waiting_;
};

}  // namespace dunvel
