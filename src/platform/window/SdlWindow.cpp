#include "platform/window/SdlWindow.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <cairo.h>

#include <climits>
#include <cstdlib>
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

// SDL's video drivers for the desktop's window systems. Left to itself SDL falls back to its
// offscreen driver when they fail, and the companion would run, polling, with a window nobody
// sees.
std::string videoDrivers() {
  std::string drivers;
  for (const WindowSystem& system : windowSystemsNamed()) {
    drivers += (drivers.empty() ? "" : ",") + std::string(system.driver);
  }
  return drivers.empty() ? "x11,wayland" : drivers;
}

// "cannot open a window on DISPLAY=:1: <SDL's reason>".
std::string windowProblem() {
  std::string where;
  for (const WindowSystem& system : windowSystemsNamed()) {
    where +=
        (where.empty() ? " on " : " and ") + std::string(system.variable) + "=" + system.display;
  }
  return "cannot open a window" + where + ": " + SDL_GetError();
}

// Xlib's error handler is one for the whole process, so the handler it had before is kept here.
XErrorHandler handlerBefore = nullptr;

// SDL wakes its event wait from another thread by sending an event to the window over a second
// connection to the X server. One sent just as the window closes can reach the server after the
// window is gone: harmless, but the handler before (Xlib's) would end the process with status 1
// and leave the socket behind.
int ignoreWakeUpsOfAClosedWindow(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  return handlerBefore != nullptr ? handlerBefore(display, error) : 0;
}

}  // namespace

SdlWindow::SdlWindow(const std::string& title, WatchFace& face, const FaceRenderer& renderer,
                     std::function<void()> onClose)
    : face_(face), scale_(renderer.scale()), onClose_(std::move(onClose)) {
  // SIGINT and SIGTERM are the program's own (they end it cleanly, as Escape does).
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A watch on the desk has no business keeping the screen saver away.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Frames are copied into the window's own framebuffer (shared memory with the X server); the
  // default would bring up an OpenGL renderer, with its threads, to show one small image.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // A default only: SDL_VIDEODRIVER in the environment still chooses.
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, videoDrivers().c_str(), SDL_HINT_DEFAULT);
  // Installed before SDL starts: SDL chains its own handler to it and puts it back before it
  // closes its connections, which is when late errors are read.
  handlerBefore = XSetErrorHandler(ignoreWakeUpsOfAClosedWindow);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::string problem = windowProblem();
    quit();
    throw std::runtime_error(problem);
  }
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             renderer.pixelWidth(), renderer.pixelHeight(), SDL_WINDOW_SHOWN);
  if (window_ == nullptr) {
    std::string problem = windowProblem();
    quit();
    throw std::runtime_error(problem);
  }
  // Nobody types into the watch; without this SDL keeps an input method context busy.
  SDL_StopTextInput();
  wakeEventType_ = SDL_RegisterEvents(1);
}

SdlWindow::~SdlWindow() {
  SDL_DestroyWindow(window_);
  quit();
}

void SdlWindow::quit() {
  SDL_Quit();
  XSetErrorHandler(handlerBefore);
}

void SdlWindow::present(const FaceRenderer& renderer) {
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (target == nullptr) return;  // the window is going away
  cairo_surface_t* image = renderer.image();
  // Cairo's premultiplied ARGB32 is SDL's native-endian ARGB8888; copied without blending, the
  // premultiplied colours are the face composed over the black of the bezel.
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      cairo_image_surface_get_data(image), cairo_image_surface_get_width(image),
      cairo_image_surface_get_height(image), 32, cairo_image_surface_get_stride(image),
      SDL_PIXELFORMAT_ARGB8888);
  if (source == nullptr) return;
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  SDL_BlitSurface(source, nullptr, target, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(window_);
}

void SdlWindow::wait(std::optional<std::chrono::steady_clock::time_point> deadline) {
  SDL_Event event;
  int got = 0;
  if (!deadline) {
    got = SDL_WaitEvent(&event);
  } else {
    // Rounded up, so the wait never ends just before the deadline and comes straight back.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    got = SDL_WaitEventTimeout(&event,
                               left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count()));
  }
  // Serve what has arrived, up to the wake event: the blocks queued before it run first.
  while (got == 1 && handle(event)) got = SDL_PollEvent(&event);
}

void SdlWindow::wake() {
  if (wakePending_.exchange(true)) return;
  SDL_Event event{};
  event.type = wakeEventType_;
  SDL_PushEvent(&event);
}

bool SdlWindow::handle(const SDL_Event& event) {
  if (event.type == wakeEventType_) {
    wakePending_ = false;
    return false;
  }
  switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
      pointer_ = pointOf(event.button.x, event.button.y);
      if (event.button.button == SDL_BUTTON_LEFT) face_.press(pointer_);
      break;
    case SDL_MOUSEMOTION:
      pointer_ = pointOf(event.motion.x, event.motion.y);
      face_.move(pointer_);
      break;
    case SDL_MOUSEBUTTONUP:
      pointer_ = pointOf(event.button.x, event.button.y);
      if (event.button.button == SDL_BUTTON_LEFT) face_.release(pointer_);
      break;
    case SDL_MOUSEWHEEL: {
      pointer_ = pointOf(event.wheel.mouseX, event.wheel.mouseY);
      // Turning the wheel away from the user shows what is above.
      double away = event.wheel.preciseY;
      if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) away = -away;
      face_.scroll(pointer_, -away, ScrollUnit::line);
      break;
    }
    case SDL_KEYDOWN:
      switch (event.key.keysym.sym) {
        case SDLK_ESCAPE:
          onClose_();
          break;
        case SDLK_UP:
          face_.scroll(pointer_, -1, ScrollUnit::line);
          break;
        case SDLK_DOWN:
          face_.scroll(pointer_, 1, ScrollUnit::line);
          break;
        case SDLK_PAGEUP:
          face_.scroll(pointer_, -1, ScrollUnit::page);
          break;
        case SDLK_PAGEDOWN:
          face_.scroll(pointer_, 1, ScrollUnit::page);
          break;
        // The wearer's text size, a step at a time, as in the watch's settings.
        case SDLK_MINUS:
        case SDLK_KP_MINUS:
          face_.setTextSize(smallerTextSize(face_.textSize()));
          break;
        case SDLK_EQUALS:
        case SDLK_PLUS:
        case SDLK_KP_PLUS:
          face_.setTextSize(largerTextSize(face_.textSize()));
          break;
        default:
          break;
      }
      break;
    case SDL_WINDOWEVENT:
      // Uncovered: show the last frame again; nothing is painted for it.
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED) SDL_UpdateWindowSurface(window_);
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) onClose_();
      break;
    case SDL_QUIT:
      onClose_();
      break;
    default:
      break;
  }
  return true;
}

Point SdlWindow::pointOf(int x, int y) const {
  return Point{x / scale_, y / scale_};
}

}  // namespace dunvel
