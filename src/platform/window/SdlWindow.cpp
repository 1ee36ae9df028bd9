#include "platform/window/SdlWindow.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <wayland-client.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "a11y/AccessibilityTree.h"
#include "platform/window/SdlSurfacePresenter.h"
#include "platform/window/WaylandShmFrames.h"
#include "platform/window/XImagePresenter.h"

namespace dunvel {

namespace {

// The wake-up eventfd, made before SDL starts so that nothing is left to undo when it cannot be.
int makeWakeFd() {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    throw std::runtime_error("cannot wait for the window's events: " +
                             std::string(std::strerror(errno)));
  }
  return fd;
}

}  // namespace

void SdlWindow::WindowDestroy::operator()(SDL_Window* window) const {
  if (!*lost) SDL_DestroyWindow(window);
}

SdlWindow::SdlWindow(const std::string& title, WatchFace& face, const FaceRenderer& renderer,
                     std::function<void()> onClose)
    : face_(face),
      renderer_(renderer),
      scale_(renderer.scale()),
      onClose_(std::move(onClose)),
      wakeFd_(makeWakeFd()),
      video_(lost_),
      window_(nullptr, WindowDestroy{&lost_}) {
  // Whatever throws from here on, the members made so far are destroyed in the reverse of
  // their order (SdlWindow.h): nothing is left on a connection SDL has closed.
  // Where SDL shows the frames itself: on X11 (when they cannot be put on the window directly)
  // they are copied into the window's own framebuffer (shared memory with the X server); the
  // default would bring up an OpenGL renderer, with its threads, to show one small image. SDL
  // 2.26's Wayland driver has no framebuffer of its own: there SDL's renderer (OpenGL ES
  // through EGL) is its only way, used when the compositor takes no frames in shared memory.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, video_.onWayland() ? "1" : "0");
  window_.reset(SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                 renderer.pixelWidth(), renderer.pixelHeight(), SDL_WINDOW_SHOWN));
  if (window_ == nullptr) throw std::runtime_error(SdlVideo::windowProblem());
  // Nobody types into the watch; without this SDL keeps an input method context busy.
  SDL_StopTextInput();

  // The display may go away under the window: the X server or the compositor ends. Wayland
  // shows it as an error on the connection (SDL then sends SDL_QUIT). On X11, Xlib ends the
  // process with status 1 once the handlers above return, unless the connection has an exit
  // handler that returns: then every later call on it returns at once.
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window_.get(), &info) == SDL_TRUE) {
    if (info.subsystem == SDL_SYSWM_X11) {
      xDisplay_ = info.info.x11.display;
      video_.quietAbout(xDisplay_);
      XSetIOErrorExitHandler(xDisplay_, keepRunningAfterIoError, this);
      ignoreKeyboardFocus(info.info.x11.window);
    } else if (info.subsystem == SDL_SYSWM_WAYLAND) {
      wlDisplay_ = info.info.wl.display;
    }
  }
  if (xDisplay_ == nullptr && wlDisplay_ == nullptr) {
    throw std::runtime_error("cannot wait for the window's events: " + std::string(SDL_GetError()));
  }
  shownOn_ = video_.shownOn();
  presenter_ = makePresenter(info);
}

std::unique_ptr<FramePresenter> SdlWindow::makePresenter(const SDL_SysWMinfo& info) {
  std::unique_ptr<FramePresenter> presenter;
  if (xDisplay_ != nullptr) {
    presenter = XImagePresenter::open(xDisplay_, info.info.x11.window);
  } else {
    // SDL's way on Wayland goes through EGL: Mesa's threads, its own round trip to the
    // compositor and a frame callback on every frame, each waking this thread. Buffers of
    // our own over SDL's surface need neither, and carry only the parts that changed.
    presenter = WaylandShmFrames::open(wlDisplay_, info.info.wl.surface, renderer_.pixelWidth(),
                                       renderer_.pixelHeight());
  }
  if (presenter == nullptr) presenter = std::make_unique<SdlSurfacePresenter>(window_.get());
  return presenter;
}

SdlWindow::~SdlWindow() = default;

// Keys reach the window without keyboard focus, and nobody types into the face. SDL answers a
// focus change by asking the server for the keyboard's state, three round trips, the last of
// which it does not check: when the server goes away between them, SDL reads through a null
// pointer (or Xlib aborts) instead of the companion ending as it should.
void SdlWindow::ignoreKeyboardFocus(unsigned long xWindow) {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(xDisplay_, xWindow, &attributes) == 0) return;
  XSelectInput(xDisplay_, xWindow, attributes.your_event_mask & ~FocusChangeMask);
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
  if (wlDisplay_ == nullptr) SDL_GetWindowPosition(window_.get(), &x, &y);
  return Point{static_cast<double>(x), static_cast<double>(y)};
}

void SdlWindow::showAccessibility(const FaceRenderer& renderer) {
  if (accessibility_ == nullptr || renderer.lastLayout() == nullptr) return;
  // What is in sight and a face's height either side: a reader is not given a long board whole
  // (the tree exposes a margin of elements around sight), nor is the board read whole to find it.
  const double height = renderer.face().size.height;
  constexpr double kFar = 1e12;
  accessibility_->show(accessibilityElementsNear(*renderer.lastLayout(), renderer.time(),
                                                 Rect{-kFar, -height, 2 * kFar, 3 * height}));
}

void SdlWindow::present(const FaceRenderer& renderer) {
  showAccessibility(renderer);
  if (lost_) return;
  presenter_->present(renderer);
  shownOnce_ = true;
}

void SdlWindow::wait(std::optional<std::chrono::steady_clock::time_point> deadline) {
  // What SDL has read already (while a frame was shown, say) is served without sleeping.
  if (!lost_ && serve() == 0 && !lost_ && sleep(deadline)) serve();
  if (checkLost()) onClose_();
}

std::size_t SdlWindow::serve() {
  std::size_t served = 0;
  SDL_Event event;
  // Checked before each event, not only once: SDL's pump on a Wayland connection that has
  // failed (it sent SDL_QUIT for that) may not return: libdecor dispatches on it in a loop.
  while (!checkLost() && SDL_PollEvent(&event) == 1) {
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
  waiting_.assign({{connection, POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}});
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
  if ((waiting_[1].revents & POLLIN) != 0) (void)!read(wakeFd_.get(), &wakes, sizeof wakes);
  if (accessibility_ != nullptr) accessibility_->dispatch(std::span(waiting_).subspan(2));
  return (waiting_[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void SdlWindow::wake() {
  const std::uint64_t one = 1;
  (void)!write(wakeFd_.get(), &one, sizeof one);
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
      handleKey(event.key.keysym.sym);
      break;
    case SDL_WINDOWEVENT:
      // Uncovered: show the last frame again; nothing is painted for it.
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        presenter_->exposed(renderer_);
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

void SdlWindow::handleKey(int key) {
  switch (key) {
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
}

Point SdlWindow::pointOf(int x, int y) const {
  return Point{x / scale_, y / scale_};
}

}  // namespace dunvel
