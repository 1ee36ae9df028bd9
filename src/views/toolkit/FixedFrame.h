#pragma once

#include <optional>

namespace dunvel {

// A frame of fixed width and/or height (in points) with its content centred.
struct FixedFrame {
  std::optional<double> width = std::nullopt;
  std::optional<double> height = std::nullopt;
  friend bool operator==(const FixedFrame&, const FixedFrame&) = default;
};

}  // namespace dunvel
