#pragma once

#include <functional>

namespace dunvel {

// The main queue of the process. Callable from any thread; blocks run on the main thread, one at
// a time, in the order they were queued.
class MainQueue {
 public:
  virtual ~MainQueue() = default;
  virtual void async(std::function<void()> block) = 0;
};

}  // namespace dunvel
