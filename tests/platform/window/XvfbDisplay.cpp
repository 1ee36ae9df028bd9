#include "XvfbDisplay.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/link/LinkTestSupport.h"

// Last: Xlib's macros (None, Bool, Status) would clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace dunvel::testing {

XvfbDisplay::XvfbDisplay() {
  int ready[2];
  if (pipe(ready) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  const std::string fd = std::to_string(ready[1]);
  pid_ = fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x640x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(ready[1]);
  // Xvfb writes its display number once it accepts connections.
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd waiting{ready[0], POLLIN, 0};
    if (poll(&waiting, 1, 100) <= 0) continue;
    char chunk[16];
    const ssize_t got = ::read(ready[0], chunk, sizeof chunk);
    if (got <= 0) break;
    number.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(ready[0]);
  if (number.find('\n') == std::string::npos) {
    ADD_FAILURE() << "Xvfb did not start (is the xvfb package installed?)";
    return;
  }
  name_ = ":" + number.substr(0, number.find('\n'));
  display_ = XOpenDisplay(name_.c_str());
  if (display_ == nullptr) ADD_FAILURE() << "cannot connect to Xvfb on " << name_;
}

XvfbDisplay::~XvfbDisplay() {
  if (display_ != nullptr) XCloseDisplay(display_);
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

unsigned long XvfbDisplay::findWindow(const std::string& title) {
  if (display_ == nullptr) return 0;
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (std::chrono::steady_clock::now() < deadline) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
      for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display_, children[i], &name) && name != nullptr && title == name &&
            XGetWindowAttributes(display_, children[i], &attributes) &&
            attributes.map_state == IsViewable) {
          found = children[i];
        }
        if (name != nullptr) XFree(name);
      }
      if (children != nullptr) XFree(children);
    }
    if (found != 0) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

FaceImage XvfbDisplay::capture(unsigned long window) {
  FaceImage image;
  XWindowAttributes attributes;
  if (display_ == nullptr || !XGetWindowAttributes(display_, window, &attributes)) return image;
  XImage* shot = XGetImage(display_, window, 0, 0, static_cast<unsigned>(attributes.width),
                           static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (shot == nullptr) return image;
  image.width = attributes.width;
  image.height = attributes.height;
  // A 24-bit true-colour screen: red, green and blue are the pixel's three low bytes.
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) image.pixels.push_back(XGetPixel(shot, x, y) & 0xFFFFFF);
  }
  XDestroyImage(shot);
  return image;
}

void XvfbDisplay::kill() {
  // The test's own connection goes first: Xlib would end the test on its broken connection.
  if (display_ != nullptr) XCloseDisplay(display_);
  display_ = nullptr;
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

void XvfbDisplay::close(unsigned long window) {
  if (display_ == nullptr) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XFlush(display_);
}

}  // namespace dunvel::testing
