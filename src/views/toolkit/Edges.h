#pragma once

namespace dunvel {

// A set of edges for padding. Leading and trailing follow the layout direction, so
// Edges::horizontal pads both sides whichever way the text runs.
enum class Edges : unsigned {
  top = 1u << 0,
  leading = 1u << 1,
  bottom = 1u << 2,
  trailing = 1u << 3,
  horizontal = leading | trailing,
  vertical = top | bottom,
  all = top | leading | bottom | trailing,
};

constexpr Edges operator|(Edges a, Edges b) {
  return static_cast<Edges>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// Whether every edge of part is in set.
constexpr bool contains(Edges set, Edges part) {
  return (static_cast<unsigned>(set) & static_cast<unsigned>(part)) == static_cast<unsigned>(part);
}

}  // namespace dunvel
