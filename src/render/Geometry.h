#pragma once

namespace dunvel {

// Lengths are in points on the face, origin at its top-left corner, y downwards.
struct Size {
  double width = 0.0;
  double height = 0.0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  double x = 0.0;
  double y = 0.0;
  double width = 0.0;
  double height = 0.0;

  double maxX() const { return x + width; }
  double maxY() const { return y + height; }
  bool contains(Point p) const { return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY(); }
  Rect intersection(const Rect& other) const;
  // Whether the two share an area (not only an edge).
  bool overlaps(const Rect& other) const {
    const Rect hit = intersection(other);
    return hit.width > 0.0 && hit.height > 0.0;
  }
  // The rectangle grown by the same length on every side.
  Rect outset(double by) const { return Rect{x - by, y - by, width + 2 * by, height + 2 * by}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect Rect::intersection(const Rect& o) const {
  const double left = x > o.x ? x : o.x;
  const double top = y > o.y ? y : o.y;
  const double right = maxX() < o.maxX() ? maxX() : o.maxX();
  const double bottom = maxY() < o.maxY() ? maxY() : o.maxY();
  if (right <= left || bottom <= top) return Rect{left, top, 0.0, 0.0};
  return Rect{left, top, right - left, bottom - top};
}

}  // namespace dunvel
