#include "render/ShapeMasks.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "render/ShapePath.h"

namespace dunvel {
namespace {

// Beyond this, a shape is filled directly rather than kept: an absurd size must not allocate.
constexpr double kMaxMaskPixels = 2048.0;
constexpr std::size_t kMaxMasks = 256;

std::int64_t quarters(double v) {
  return static_cast<std::int64_t>(std::llround(v * 4.0));
}

}  // namespace

bool ShapeMasks::paintDisplay(cairo_t* cr, const Rect& display, double cornerRadius,
                              double cornerExtent) {
  double x = display.x, y = display.y, right = display.maxX(), bottom = display.maxY();
  cairo_user_to_device(cr, &x, &y);
  cairo_user_to_device(cr, &right, &bottom);
  double sx = 1.0, sy = 0.0;
  cairo_user_to_device_distance(cr, &sx, &sy);
  const bool wholePixels = x == 0.0 && y == 0.0 && right == std::floor(right) &&
                           bottom == std::floor(bottom) && right >= 1.0 && bottom >= 1.0 &&
                           right <= kMaxMaskPixels && bottom <= kMaxMaskPixels && sy == 0.0;
  if (!wholePixels) return false;
  const std::tuple<int, int, double> key{static_cast<int>(right), static_cast<int>(bottom),
                                         cornerRadius * sx};
  if (!display_ || key != displayKey_) {
    display_.reset(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::get<0>(key), std::get<1>(key)));
    const Owned<cairo_t> d(cairo_create(display_.get()));
    cairo_scale(d.get(), sx, sx);
    roundedRectanglePath(d.get(), display, cornerRadius, RoundedCornerStyle::continuous);
    cairo_set_source_rgb(d.get(), 0.0, 0.0, 0.0);
    cairo_fill(d.get());
    displayKey_ = key;
  }
  const double w = right;
  const double h = bottom;
  // Whole pixels around each corner's square; no wider than half the display.
  const double e = std::min({std::ceil(cornerExtent * sx), std::floor(w / 2), std::floor(h / 2)});
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_new_path(cr);
  cairo_rectangle(cr, 0.0, e, w, h - 2 * e);
  cairo_rectangle(cr, e, 0.0, w - 2 * e, e);
  cairo_rectangle(cr, e, h - e, w - 2 * e, e);
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  cairo_fill(cr);
  // Only the corners that the clip (a frame's changed parts) reaches into.
  double left = 0.0, top = 0.0, clipRight = 0.0, clipBottom = 0.0;
  cairo_clip_extents(cr, &left, &top, &clipRight, &clipBottom);
  bool corners = false;
  for (const auto& [x0, y0] : {std::pair{0.0, 0.0}, {w - e, 0.0}, {0.0, h - e}, {w - e, h - e}}) {
    if (x0 >= clipRight || x0 + e <= left || y0 >= clipBottom || y0 + e <= top) continue;
    cairo_rectangle(cr, x0, y0, e, e);
    corners = true;
  }
  if (corners) {
    cairo_set_source_surface(cr, display_.get(), 0.0, 0.0);
    cairo_fill(cr);
  }
  cairo_restore(cr);
  return true;
}

void ShapeMasks::fill(cairo_t* cr, const ShapeGeometry& shape, const Rect& rect) {
  double x = rect.x, y = rect.y, right = rect.maxX(), bottom = rect.maxY();
  cairo_user_to_device(cr, &x, &y);
  cairo_user_to_device(cr, &right, &bottom);
  double sx = 1.0, sy = 0.0;
  cairo_user_to_device_distance(cr, &sx, &sy);
  const double width = right - x;
  const double height = bottom - y;
  const bool usable = std::isfinite(x) && std::isfinite(y) && std::isfinite(width) &&
                      std::isfinite(height) && width > 0.0 && height > 0.0 &&
                      width < kMaxMaskPixels && height < kMaxMaskPixels && sy == 0.0 &&
                      std::abs(x) < 1e6 && std::abs(y) < 1e6;
  if (!usable) {
    cairo_new_path(cr);
    shapePath(cr, shape, rect);
    cairo_fill(cr);
    return;
  }
  const double originX = std::floor(x);
  const double originY = std::floor(y);
  const double fracX = std::round((x - originX) * 4.0) / 4.0;
  const double fracY = std::round((y - originY) * 4.0) / 4.0;
  const Key key{quarters(width),
                quarters(height),
                static_cast<int>(fracX * 4),
                static_cast<int>(fracY * 4),
                quarters(shape.cornerRadius * sx),
                static_cast<int>(shape.kind),
                static_cast<int>(shape.style)};
  auto found = masks_.find(key);
  if (found == masks_.end()) {
    if (masks_.size() >= kMaxMasks) masks_.clear();
    const int w = static_cast<int>(std::ceil(fracX + width)) + 1;
    const int h = static_cast<int>(std::ceil(fracY + height)) + 1;
    Owned<cairo_surface_t> mask(cairo_image_surface_create(CAIRO_FORMAT_A8, w, h));
    const Owned<cairo_t> m(cairo_create(mask.get()));
    cairo_translate(m.get(), fracX, fracY);
    cairo_scale(m.get(), sx, sx);
    shapePath(m.get(), shape, Rect{0.0, 0.0, width / sx, height / sx});
    cairo_fill(m.get());
    found = masks_.emplace(key, std::move(mask)).first;
  }
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_mask_surface(cr, found->second.get(), originX, originY);
  cairo_restore(cr);
}

}  // namespace dunvel
