#pragma once

#include <limits>
#include <optional>

namespace dunvel {

// An unbounded length, for FlexibleFrame{.maxWidth = infinity}.
inline constexpr double infinity = std::numeric_limits<double>::infinity();

// A frame bounded by minimum, ideal and maximum sizes, content centred. A missing bound leaves
// that dimension to the content.
struct FlexibleFrame {
  std::optional<double> minWidth = std::nullopt;
  std::optional<double> idealWidth = std::nullopt;
  std::optional<double> maxWidth = std::nullopt;
  std::optional<double> minHeight = std::nullopt;
  std::optional<double> idealHeight = std::nullopt;
  std::optional<double> maxHeight = std::nullopt;
  friend bool operator==(const FlexibleFrame&, const FlexibleFrame&) = default;
};

}  // namespace dunvel
