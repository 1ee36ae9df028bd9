#include "platform/window/SdlVideo.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace dunvel {

namespace {

// A window system the environment names: X11 through DISPLAY, Wayland through WAYLAND_DISPLAY.
struct WindowSystem {
  const char* variable;
  const char* driver;
  std::string display;
};

std::vector<WindowSystem> windowSystemsNamed() {
  std::vector<WindowSystem> named;
  for (const auto& [variable, driver] :
       {std::pair{"DISPLAY", "x11"}, {"WAYLAND_DISPLAY", "wayland"}}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') named.push_back({variable, driver, value});
  }
  return named;
}

// Whether the Wayland compositor the environment names announces a seat (wl_seat): the pointer
// and keyboard side of a desktop. SDL 2.26's Wayland driver takes one for granted: started
// without one, it writes through a null pointer to the seat's state while setting up the mouse
// (Wayland_InitMouse, within SDL_InitSubSystem) and the process dies of SIGSEGV; later SDL
// releases make that state whether or not there is a seat. A compositor with nothing to give
// input (Weston's headless backend, a kiosk with nothing plugged in) has none.
enum class WaylandSeat { present, absent, unreachable };

WaylandSeat waylandSeat() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return WaylandSeat::unreachable;
  bool seat = false;
  static const wl_registry_listener listener{
      [](void* found, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
        if (std::strcmp(interface, "wl_seat") == 0) *static_cast<bool*>(found) = true;
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &seat);
  // Globals are announced at once on binding the registry; one round trip has them all.
  const int answered = wl_display_roundtrip(display);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  if (answered < 0) return WaylandSeat::unreachable;
  return seat ? WaylandSeat::present : WaylandSeat::absent;
}

// SDL's video drivers for the desktop's window systems, Wayland only where it can start. Left
// to itself SDL falls back to its offscreen driver when they fail, and the companion would run,
// polling, with a window nobody sees. Sets refused to why Wayland was left out, if it was.
std::string videoDrivers(std::string& refused) {
  std::string drivers;
  for (const WindowSystem& system : windowSystemsNamed()) {
    if (std::string(system.driver) == "wayland" && waylandSeat() == WaylandSeat::absent) {
      refused = "the Wayland compositor at WAYLAND_DISPLAY=" + system.display +
                " offers no seat (no pointer, no keyboard), which SDL " +
                std::to_string(SDL_MAJOR_VERSION) + "." + std::to_string(SDL_MINOR_VERSION) +
                " needs to open a window there";
      continue;
    }
    drivers += (drivers.empty() ? "" : ",") + std::string(system.driver);
  }
  return drivers.empty() && refused.empty() ? "x11,wayland" : drivers;
}

// Xlib's I/O error handler is one for the whole process, so the handler it had before is kept
// here.
XIOErrorHandler ioHandlerBefore = nullptr;
// The window's connection to the X server, once there is one.
Display* windowDisplay = nullptr;

// Called first when a connection to the X server breaks. Xlib's own prints a line ("X connection
// to :1 broken") that says less than the companion's own (FaceAppRunner); other connections
// are left to it.
int quietAboutTheWindowsDisplay(Display* display) {
  if (display == windowDisplay) return 0;
  return ioHandlerBefore != nullptr ? ioHandlerBefore(display) : 0;
}

}  // namespace

SdlVideo::SdlVideo(const std::atomic<bool>& lost) : lost_(lost) {
  // SIGINT and SIGTERM are the program's own (they end it cleanly, as Escape does).
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A watch on the desk has no business keeping the screen saver away.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // A default only: SDL_VIDEODRIVER in the environment still chooses, except that it cannot
  // bring back a Wayland driver that would crash.
  std::string refused;
  const std::string drivers = videoDrivers(refused);
  if (drivers.empty()) throw std::runtime_error("cannot open a window: " + refused);
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers.c_str(),
                          refused.empty() ? SDL_HINT_DEFAULT : SDL_HINT_OVERRIDE);
  ioHandlerBefore = XSetIOErrorHandler(quietAboutTheWindowsDisplay);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::string problem = windowProblem();
    SDL_Quit();
    XSetIOErrorHandler(ioHandlerBefore);
    throw std::runtime_error(problem);
  }
}

SdlVideo::~SdlVideo() {
  if (!lost_) SDL_Quit();
  XSetIOErrorHandler(ioHandlerBefore);
  windowDisplay = nullptr;
}

bool SdlVideo::onWayland() const {
  return std::strcmp(SDL_GetCurrentVideoDriver(), "wayland") == 0;
}

std::string SdlVideo::shownOn() const {
  std::string shown;
  for (const WindowSystem& system : windowSystemsNamed()) {
    if (std::strcmp(system.driver, SDL_GetCurrentVideoDriver()) == 0) {
      shown = std::string(system.variable) + "=" + system.display;
    }
  }
  return shown;
}

std::string SdlVideo::windowProblem() {
  std::string where;
  for (const WindowSystem& system : windowSystemsNamed()) {
    where +=
        (where.empty() ? " on " : " and ") + std::string(system.variable) + "=" + system.display;
  }
  return "cannot open a window" + where + ": " + SDL_GetError();
}

void SdlVideo::quietAbout(Display* display) {
  windowDisplay = display;
}

}  // namespace dunvel
