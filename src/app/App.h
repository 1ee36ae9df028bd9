#pragma once

#include "app/WindowGroup.h"

namespace dunvel {

// An app as the app runner sees it: a value whose body declares its scene. The runner may
// evaluate body more than once and may make more than one value of the app; what must live
// for the whole process belongs in state-object holders, not in the value.
class App {
 public:
  virtual ~App() = default;
  virtual WindowGroup body() const = 0;
};

}  // namespace dunvel
