#pragma once

#include <compare>

namespace dunvel {

// A point in time as seconds since 1970-01-01 00:00:00 UTC.
struct Date {
  double timeIntervalSince1970 = 0.0;
  friend auto operator<=>(const Date&, const Date&) = default;
};

}  // namespace dunvel
