#pragma once

#include <sys/types.h>

#include <string>

#include "FaceImage.h"

using Display = struct _XDisplay;

namespace dunvel::testing {

// A virtual X display of its own for one test: Xvfb on a display number it picks itself
// (-displayfd), so tests that run at once do not collide, stopped at the end of the test (which
// removes its socket and lock file). The test sees it through a connection of its own.
class XvfbDisplay {
 public:
  // Fails the test when Xvfb does not start.
  XvfbDisplay();
  ~XvfbDisplay();
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  // ":N", for DISPLAY.
  const std::string& name() const { return name_; }

  // The shown top-level window with this title, once there is one; 0 at the deadline.
  unsigned long findWindow(const std::string& title);
  // What the window shows.
  FaceImage capture(unsigned long window);
  // Asks the window to close, as a window manager's close button does.
  void close(unsigned long window);
  // Ends the X server at once (SIGKILL), as a crash or an ended session does.
  void kill();

 private:
  pid_t pid_ = -1;
  std::string name_;
  Display* display_ = nullptr;
};

}  // namespace dunvel::testing
