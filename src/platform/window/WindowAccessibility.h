#pragma once

#include <poll.h>

#include <chrono>
#include <optional>
#include <span>
#include <vector>

#include "a11y/AccessibilityElement.h"

namespace dunvel {

// The face as assistive technologies see it, kept by the window that shows it: the window
// hands it each new set of elements, and serves its traffic in the same sleep as its own
// events, so one thread serves both without polling. A window without one (no accessibility
// bus, a test) behaves as before. Main thread only.
class WindowAccessibility {
 public:
  virtual ~WindowAccessibility() = default;

  // The elements the face shows now, in reading order, frames in face points. Their element
  // pointers are valid only during the call: nothing may keep them.
  virtual void show(const std::vector<AccessibilityElement>& elements) = 0;

  // Before the window's thread sleeps: appends the descriptors to watch besides the window's
  // own, and says how long the sleep may last at most (zero: there is work now; none: no
  // limit of its own).
  virtual std::optional<std::chrono::milliseconds> prepareWait(std::vector<pollfd>& fds) = 0;
  // After the sleep: the descriptors prepareWait appended, in its order, with what happened on
  // them. Serves whatever is ready.
  virtual void dispatch(std::span<const pollfd> fds) = 0;
};

}  // namespace dunvel
