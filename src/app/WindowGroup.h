#pragma once

#include <functional>
#include <utility>

#include "views/toolkit/Node.h"

namespace dunvel {

// The app's one scene: a single window, no identifier and no title, whose content closure
// builds the root view. The runner calls the closure when it installs the window.
struct WindowGroup {
  explicit WindowGroup(std::function<Node()> content) : content(std::move(content)) {}
  std::function<Node()> content;
};

}  // namespace dunvel
