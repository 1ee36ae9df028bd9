#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runloop/MainThreadWaiter.h"
#include "platform/window/WatchFace.h"
#include "platform/window/WaylandShmFrames.h"
#include "platform/window/WindowAccessibility.h"

struct SDL_Window;
union SDL_Event;
struct _XDisplay;
struct _XGC;
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
  void handle(const SDL_Event& event);
  // Handles the events SDL has or can read without waiting; how many there were.
  std::size_t serve();
  // Sleeps until the display has something to read, wake() or the deadline: true for the first.
  bool sleep(std::optional<std::chrono::steady_clock::time_point> deadline);
  Point pointOf(int x, int y) const;
  void quit();
  // Notes a lost connection once the window exists; true when it is lost.
  bool checkLost();
  // On X11: whether frames can be put on the window directly (a 24-bit visual in Cairo's
  // channel order), and the putting of the given parts (in pixels) of the renderer's image.
  bool canPutImages();
  void putImage(const std::vector<Rect>& parts);
  void showAccessibility(const FaceRenderer& renderer);
  Rect wholeFrame() const;
  static void keepRunningAfterIoError(_XDisplay* display, void* window);

  WatchFace& face_;
  const FaceRenderer& renderer_;
  double scale_;
  std::function<void()> onClose_;
  SDL_Window* window_ = nullptr;
  // Written by wake(), polled with the display's connection.
  int wakeFd_ = -1;
  // Set on the main thread, read by wake() on any.
  std::atomic<bool> lost_{false};
  // The window's own connection: to the X server, or to the Wayland compositor.
  _XDisplay* xDisplay_ = nullptr;
  wl_display* wlDisplay_ = nullptr;
  // Wayland only: frames in shared memory over SDL's surface; null where the compositor offers
  // no shared memory (SDL's renderer shows them then).
  std::unique_ptr<WaylandShmFrames> shmFrames_;
  // X11 only: the window, a graphics context that asks for no exposure events, and whether a
  // first frame was shown (the later ones send only what their paint changed).
  unsigned long xWindow_ = 0;
  _XGC* xGc_ = nullptr;
  bool shownOnce_ = false;
  std::string shownOn_;
  Point pointer_;
  std::unique_ptr<WindowAccessibility> accessibility_;
  // What the sleep polls: the display's connection, the wake-up eventfd, then the
  // accessibility's descriptors (kept to reuse its storage).
  std::vector<pollfd> waiting_;
};

}  // namespace dunvel
