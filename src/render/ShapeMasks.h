#pragma once

#include <cstdint>
#include <map>
#include <tuple>

#include "render/Geometry.h"
#include "views/toolkit/ShapeGeometry.h"

using cairo_t = struct _cairo;
using cairo_surface_t = struct _cairo_surface;

namespace dunvel {

// Antialiased shapes rasterised once and kept as masks: the cards and buttons of a screen have
// the same sizes frame after frame, and painting a kept mask costs a fraction of scan-converting
// their curved outlines again. Main thread only.
class ShapeMasks {
 public:
  ShapeMasks() = default;
  ~ShapeMasks();
  ShapeMasks(const ShapeMasks&) = delete;
  ShapeMasks& operator=(const ShapeMasks&) = delete;

  // Fills the shape at rect (user space) with cr's current source.
  void fill(cairo_t* cr, const ShapeGeometry& shape, const Rect& rect);

  std::size_t size() const { return masks_.size(); }

 private:
  // Device size and subpixel origin in quarter pixels, radius in quarter pixels, kind, style.
  using Key = std::tuple<std::int64_t, std::int64_t, int, int, std::int64_t, int, int>;
  std::map<Key, cairo_surface_t*> masks_;
};

}  // namespace dunvel
