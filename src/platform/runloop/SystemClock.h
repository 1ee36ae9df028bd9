#pragma once

#include "observation/Clock.h"

namespace dunvel {

// The system's wall clock.
class SystemClock final : public Clock {
 public:
  Date now() const override;
};

}  // namespace dunvel
