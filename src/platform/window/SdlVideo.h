#pragma once

#include <atomic>
#include <string>

struct _XDisplay;

namespace dunvel {

// SDL's video subsystem, started for the window system the environment names (only video:
// the other subsystems make SDL poll), with Xlib's I/O error handler set for the window's
// connection. When it goes, SDL is ended (SDL_Quit, which closes the display's connections:
// whatever was made on them must be gone first) and the handler put back. One per process.
// Main thread only.
class SdlVideo {
 public:
  // lost is read when this goes: after a lost display SDL's teardown would close its second
  // connection to the X server, and Xlib would end the process (status 1) on that one, so SDL is
  // left as it is then (the process is ending anyway). std::runtime_error with the reason when
  // SDL cannot start.
  explicit SdlVideo(const std::atomic<bool>& lost);
  ~SdlVideo();
  SdlVideo(const SdlVideo&) = delete;
  SdlVideo& operator=(const SdlVideo&) = delete;

  // Whether SDL started its Wayland driver.
  bool onWayland() const;
  // What the window is shown on, as "DISPLAY=:1".
  std::string shownOn() const;
  // "cannot open a window on DISPLAY=:1: <SDL's reason>".
  static std::string windowProblem();
  // Xlib's handler says nothing when this connection (the window's) breaks: the companion's own
  // line says more.
  void quietAbout(_XDisplay* display);

 private:
  const std::atomic<bool>& lost_;
};

}  // namespace dunvel
