#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "preview/ImageOutcome.h"

namespace dunvel {

// How many images a verify run found in each state.
struct VerifyCounts {
  std::size_t images = 0;
  std::size_t equal = 0;
  std::size_t differ = 0;
  std::size_t missing = 0;
  std::size_t unreadable = 0;

  static VerifyCounts of(const std::vector<ImageOutcome>& outcomes);
  // "12 images, 10 equal, 1 differ, 1 missing", then ", 1 unreadable" when a reference could
  // not be read.
  std::string line() const;
};

}  // namespace dunvel
