#include "platform/window/SdlWindow.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <wayland-client.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "a11y/AccessibilityTree.h"

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

// "cannot open a window on DISPLAY=:1: <SDL's reason>".
std::string windowProblem() {
  std::string where;
  for (const WindowSystem& system : windowSystemsNamed()) {
    where +=
        (where.empty() ? " on " : " and ") + std::string(system.variable) + "=" + system.display;
  }
  return "cannot open a window" + where + ": " + SDL_GetError();
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

SdlWindow::SdlWindow(const std::string& title, WatchFace& face, const FaceRenderer& renderer,
                     std::function<void()> onClose)
    : face_(face), renderer_(renderer), scale_(renderer.scale()), onClose_(std::move(onClose)) {
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
    quit();
    throw std::runtime_error(problem);
  }
  // Where SDL shows the frames itself: on X11 (when they cannot be put on the window directly)
  // they are copied into the window's own framebuffer (shared memory with the X server); the
  // default would bring up an OpenGL renderer, with its threads, to show one small image. SDL
  // 2.26's Wayland driver has no framebuffer of its own: there SDL's renderer (OpenGL ES
  // through EGL) is its only way, used when the compositor takes no frames in shared memory.
  const bool wayland = std::strcmp(SDL_GetCurrentVideoDriver(), "wayland") == 0;
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, wayland ? "1" : "0");
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             renderer.pixelWidth(), renderer.pixelHeight(), SDL_WINDOW_SHOWN);
  if (window_ == nullptr) {
    std::string problem = windowProblem();
    quit();
    throw std::runtime_error(problem);
  }
  // Nobody types into the watch; without this SDL keeps an input method context busy.
  SDL_StopTextInput();

  // The display may go away under the window: the X server or the compositor ends. Wayland
  // shows it as an error on the connection (SDL then sends SDL_QUIT). On X11, Xlib ends the
  // process with status 1 once the handlers above return, unless the connection has an exit
  // handler that returns: then every later call on it returns at once.
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window_, &info) == SDL_TRUE) {
    if (info.subsystem == SDL_SYSWM_X11) {
      xDisplay_ = windowDisplay = info.info.x11.display;
      xWindow_ = info.info.x11.window;
      XSetIOErrorExitHandler(xDisplay_, keepRunningAfterIoError, this);
    } else if (info.subsystem == SDL_SYSWM_WAYLAND) {
      wlDisplay_ = info.info.wl.display;
      // SDL's way on Wayland goes through EGL: Mesa's threads, its own round trip to the
      // compositor and a frame callback on every frame, each waking this thread. Buffers of
      // our own over SDL's surface need neither, and carry only the parts that changed.
      shmFrames_ = WaylandShmFrames::open(wlDisplay_, info.info.wl.surface, renderer.pixelWidth(),
                                          renderer.pixelHeight());
    }
  }
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if ((xDisplay_ == nullptr && wlDisplay_ == nullptr) || wakeFd_ < 0) {
    std::string problem = "cannot wait for the window's events: " +
                          std::string(wakeFd_ < 0 ? std::strerror(errno) : SDL_GetError());
    SDL_DestroyWindow(window_);
    quit();
    throw std::runtime_error(problem);
  }
  for (const WindowSystem& system : windowSystemsNamed()) {
    if (std::strcmp(system.driver, SDL_GetCurrentVideoDriver()) == 0) {
      shownOn_ = std::string(system.variable) + "=" + system.display;
    }
  }
  // SDL's own way of showing a frame on X11 sends the whole window and then waits for the X
  // server to answer (XSync), and its graphics context asks for an exposure event after every
  // image: two wake-ups of this thread a frame. Where the visual allows it, frames are put on
  // the window here instead, only the parts the renderer painted, with nothing to answer.
  if (xDisplay_ != nullptr && canPutImages()) {
    XGCValues values{};
    values.graphics_exposures = False;
    xGc_ = XCreateGC(xDisplay_, xWindow_, GCGraphicsExposures, &values);
  }
}

Rect SdlWindow::wholeFrame() const {
  return Rect{0.0, 0.0, static_cast<double>(renderer_.pixelWidth()),
              static_cast<double>(renderer_.pixelHeight())};
}

bool SdlWindow::canPutImages() {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(xDisplay_, xWindow_, &attributes) == 0) return false;
  const Visual* visual = attributes.visual;
  // Cairo's ARGB32 pixel is a native-endian 32-bit word, red in bits 16-23: what a depth-24
  // visual with these masks takes as a 32-bit ZPixmap pixel. SDL picks a direct-colour visual
  // where there is one, and puts the same pixels into it.
  return visual != nullptr && attributes.depth == 24 &&
         (visual->c_class == TrueColor || visual->c_class == DirectColor) &&
         visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
}

void SdlWindow::putImage(const std::vector<Rect>& parts) {
  cairo_surface_t* frame = renderer_.image();
  cairo_surface_flush(frame);
  XImage* image = XCreateImage(xDisplay_, nullptr, 24, ZPixmap, 0,
                               reinterpret_cast<char*>(cairo_image_surface_get_data(frame)),
                               static_cast<unsigned>(cairo_image_surface_get_width(frame)),
                               static_cast<unsigned>(cairo_image_surface_get_height(frame)), 32,
                               cairo_image_surface_get_stride(frame));
  if (image == nullptr) return;
  // The pixels are in this machine's byte order; Xlib converts them if the server's differs.
  image->byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
  // The renderer's parts are whole pixels.
  for (const Rect& part : parts) {
    const int x = static_cast<int>(part.x);
    const int y = static_cast<int>(part.y);
    XPutImage(xDisplay_, xWindow_, xGc_, image, x, y, x, y, static_cast<unsigned>(part.width),
              static_cast<unsigned>(part.height));
  }
  image->data = nullptr;  // the renderer owns the pixels
  XDestroyImage(image);
  // Sent now rather than when the thread next sleeps: a frame is shown at once.
  XFlush(xDisplay_);
}

SdlWindow::~SdlWindow() {
  // Assistive technologies are told the window goes while it still exists.
  accessibility_.reset();
  // Its objects are on SDL's connection, which SDL_Quit closes.
  shmFrames_.reset();
  // The graphics context is on the window's own connection, whose calls return at once once it
  // is lost (its exit handler returns): freed either way.
  if (xGc_ != nullptr) XFreeGC(xDisplay_, xGc_);
  // After a lost display SDL's teardown would close its second connection to the X server, and
  // Xlib would end the process (status 1) on that one: the process is ending anyway.
  if (!lost_) {
    SDL_DestroyWindow(window_);
    SDL_Quit();
  }
  XSetIOErrorHandler(ioHandlerBefore);
  windowDisplay = nullptr;
  close(wakeFd_);
}

void SdlWindow::quit() {
  SDL_Quit();
  XSetIOErrorHandler(ioHandlerBefore);
  windowDisplay = nullptr;
}

void SdlWindow::keepRunningAfterIoError(Display*, void* window) {
  static_cast<SdlWindow*>(window)->lost_ = true;
}

bool SdlWindow::checkLost() {
  if (!lost_ && wlDisplay_ != nullptr && wl_display_get_error(wlDisplay_) != 0) lost_ = true;
  return lost_;
}

void SdlWindow::setAccessibility(std::unique_ptr<WindowAccessibility> accessibility) {
  accessibility_ = std::move(accessibility);
  if (shownOnce_) showAccessibility(renderer_);
}

Point SdlWindow::screenOrigin() const {
  int x = 0;
  int y = 0;
  // SDL follows the window's moves (ConfigureNotify) as the window manager reports them, in
  // root-window pixels.
  if (wlDisplay_ == nullptr) SDL_GetWindowPosition(window_, &x, &y);
  return Point{static_cast<double>(x), static_cast<double>(y)};
}

void SdlWindow::showAccessibility(const FaceRenderer& renderer) {
  if (accessibility_ == nullptr || renderer.lastLayout() == nullptr) return;
  accessibility_->show(accessibilityElements(*renderer.lastLayout(), renderer.time()));
}

void SdlWindow::present(const FaceRenderer& renderer) {
  showAccessibility(renderer);
  if (lost_) return;
  if (xGc_ != nullptr) {
    // Every frame the renderer paints is presented, so what its last paint painted is all the
    // window lacks; the first frame goes whole.
    putImage(shownOnce_ ? renderer.damage() : std::vector<Rect>{wholeFrame()});
    shownOnce_ = true;
    return;
  }
  if (shmFrames_ != nullptr) {
    shmFrames_->show(renderer.image(), renderer.damage());
    return;
  }
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
  // What SDL has read already (while a frame was shown, say) is served without sleeping.
  if (!lost_ && serve() == 0 && !lost_ && sleep(deadline)) serve();
  if (checkLost()) onClose_();
}

std::size_t SdlWindow::serve() {
  std::size_t served = 0;
  SDL_Event event;
  while (!lost_ && SDL_PollEvent(&event) == 1) {
    handle(event);
    ++served;
  }
  return served;
}

// The thread sleeps in poll() on the display's connection and the wake-up eventfd rather than
// in SDL's event wait: SDL wakes that from other threads by writing to a second connection to
// the X server, and when the server has gone, Xlib ends the process on the first such write.
bool SdlWindow::sleep(std::optional<std::chrono::steady_clock::time_point> deadline) {
  int timeout = -1;
  if (deadline) {
    // Rounded up, so the wait never ends just before the deadline and comes straight back.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    timeout = left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
  }
  // Requests still buffered go out first (a frame just shown); events already read from the
  // connection are not on it any more, so they are served instead of waited for.
  int connection = -1;
  if (xDisplay_ != nullptr) {
    if (XEventsQueued(xDisplay_, QueuedAfterFlush) > 0 || lost_) return true;
    connection = ConnectionNumber(xDisplay_);
  } else {
    if (wl_display_prepare_read(wlDisplay_) != 0) return true;
    wl_display_flush(wlDisplay_);
    connection = wl_display_get_fd(wlDisplay_);
  }
  waiting_.assign({{connection, POLLIN, 0}, {wakeFd_, POLLIN, 0}});
  if (accessibility_ != nullptr) {
    // Its sources' timeouts bound the sleep as the loop's timers do: a D-Bus call's time limit
    // while one is pending, nothing while the bus is quiet.
    if (const auto limit = accessibility_->prepareWait(waiting_)) {
      const auto capped = std::min<std::chrono::milliseconds::rep>(limit->count(), INT_MAX);
      if (timeout < 0 || capped < timeout) timeout = static_cast<int>(capped);
    }
  }
  poll(waiting_.data(), waiting_.size(), timeout);
  // SDL reads the connection itself when it pumps its events.
  if (wlDisplay_ != nullptr) wl_display_cancel_read(wlDisplay_);
  std::uint64_t wakes = 0;
  if ((waiting_[1].revents & POLLIN) != 0) (void)!read(wakeFd_, &wakes, sizeof wakes);
  if (accessibility_ != nullptr) accessibility_->dispatch(std::span(waiting_).subspan(2));
  return (waiting_[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void SdlWindow::wake() {
  const std::uint64_t one = 1;
  (void)!write(wakeFd_, &one, sizeof one);
}

void SdlWindow::handle(const SDL_Event& event) {
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
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        // With frames of our own on Wayland, the compositor keeps the last one: nothing to do.
        if (xGc_ != nullptr) {
          if (shownOnce_) putImage({wholeFrame()});
        } else if (shmFrames_ == nullptr) {
          SDL_UpdateWindowSurface(window_);
        }
      }
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) onClose_();
      break;
    case SDL_QUIT:
      onClose_();
      break;
    default:
      break;
  }
}

Point SdlWindow::pointOf(int x, int y) const {
  return Point{x / scale_, y / scale_};
}

}  // namespace dunvel
