#pragma once

#include <string>

namespace dunvel {

// The name of a system symbol, such as "timer" or "eye.fill".
struct SystemName {
  std::string name;
};

}  // namespace dunvel
