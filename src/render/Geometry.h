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
