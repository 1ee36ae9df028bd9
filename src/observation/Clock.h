#pragma once

#include "observation/Date.h"

namespace dunvel {

// The current date-time. Callable from the main thread.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual Date now() const = 0;
};

}  // namespace dunvel
