#pragma once

#include <cstdint>
#include <map>
#include <tuple>

#include "render/Geometry.h"
#include "render/Owned.h"
#include "views/toolkit/ShapeGeometry.h"

namespace dunvel {

// Antialiased shapes rasterised once and kept as masks: the cards and buttons of a screen have
// the same sizes frame after frame, and painting a kept mask costs a fraction of scan-converting
// their curved outlines again. Main thread only.
class ShapeMasks {
 public:
  ShapeMasks() = default;
  ShapeMasks(const ShapeMasks&) = delete;
  ShapeMasks& operator=(const ShapeMasks&) = delete;

  // Fills the shape at rect (user space) with cr's current source.
  void fill(cairo_t* cr, const ShapeGeometry& shape, const Rect& rect);

  // Paints the display as it stands before anything is drawn on it: black inside its
  // continuous rounded outline, transparent outside, replacing what was there. The corners
  // (squares of cornerExtent points, where the outline bends) are kept as an image and copied,
  // the rest filled black, which costs a fraction of filling the outline. False, painting
  // nothing, unless the display covers whole device pixels from the device origin.
  bool paintDisplay(cairo_t* cr, const Rect& display, double cornerRadius, double cornerExtent);

 private:
  // Device size and subpixel origin in quarter pixels, radius in quarter pixels, kind, style.
  using Key = std::tuple<std::int64_t, std::int64_t, int, int, std::int64_t, int, int>;
  std::map<Key, Owned<cairo_surface_t>> masks_;
  Owned<cairo_surface_t> display_;
  // What the kept display was drawn for: its size in pixels, its corner radius in pixels.
  std::tuple<int, int, double> displayKey_;
};

}  // namespace dunvel
