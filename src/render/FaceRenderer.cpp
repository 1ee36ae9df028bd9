#include "render/FaceRenderer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "files/ReplaceFile.h"
#include "render/DrawingStack.h"
#include "render/PaintDamage.h"

namespace dunvel {

namespace {

// The whole pixels of an image of width × height that a rectangle in points reaches into, at
// scale pixels a point: a drawing that reaches into a pixel, however little, changes it.
cairo_rectangle_int_t pixelsAround(const Rect& r, double scale, int width, int height) {
  const double left = std::clamp(std::floor(r.x * scale), 0.0, static_cast<double>(width));
  const double top = std::clamp(std::floor(r.y * scale), 0.0, static_cast<double>(height));
  const double right = std::clamp(std::ceil(r.maxX() * scale), 0.0, static_cast<double>(width));
  const double bottom = std::clamp(std::ceil(r.maxY() * scale), 0.0, static_cast<double>(height));
  if (!(right > left) || !(bottom > top)) return {0, 0, 0, 0};
  return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
          static_cast<int>(bottom - top)};
}

// Appends the region's rectangles to cr's path.
void regionPath(cairo_t* cr, const cairo_region_t* region) {
  const int count = cairo_region_num_rectangles(region);
  for (int i = 0; i < count; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(region, i, &r);
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  }
}

// The region's rectangles, which do not overlap: cairo clips exactly (and cheaply) to them.
std::vector<Rect> rectanglesOf(const cairo_region_t* region) {
  std::vector<Rect> rects;
  const int count = cairo_region_num_rectangles(region);
  rects.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(region, i, &r);
    rects.push_back(Rect{static_cast<double>(r.x), static_cast<double>(r.y),
                         static_cast<double>(r.width), static_cast<double>(r.height)});
  }
  return rects;
}

}  // namespace

FaceRenderer::FaceRenderer(FaceSize size, double scale, const std::string& fontsConf)
    : face_(faceMetrics(size)), scale_(scale), engine_(fontsConf) {
  if (!(scale >= 0.25 && scale <= 8.0)) {
    throw std::invalid_argument("the scale must be between 0.25 and 8 pixels per point");
  }
  pixelWidth_ = static_cast<int>(std::lround(face_.size.width * scale));
  pixelHeight_ = static_cast<int>(std::lround(face_.size.height * scale));
  surface_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth_, pixelHeight_));
  if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) {
    throw std::runtime_error("cannot make the face's image");
  }
}

FaceRenderer::~FaceRenderer() = default;

const FaceLayout& FaceRenderer::layout(const Element& tree, const ScrollOffsets& offsets,
                                       Relayout relayout) {
  engine_.beginFrame();
  if (layout_ && relayout == Relayout::changed && laidOutTextSize_ == face_.textSize &&
      layout_->relayText(tree, offsets)) {
    // Shaped again even when it is the same, so that the engine keeps it for this frame.
    layout_->placeTime(time_);
    return *layout_;
  }
  layout_.reset();
  layout_ = std::make_unique<FaceLayout>(tree, face_, engine_, offsets, time_);
  ++stats_.wholeLayouts;
  laidOutTextSize_ = face_.textSize;
  return *layout_;
}

const FaceLayout* FaceRenderer::scroll(const ScrollOffsets& offsets) {
  if (layout_) layout_->placeAgain(offsets);
  return layout_.get();
}

cairo_surface_t* FaceRenderer::paint(const PaintOptions& options, Repaint repaint) {
  // What changed is known from this frame's drawings before painting; a whole paint notes its
  // drawings (for the next frame) as it paints them.
  if (!layout_ || repaint == Repaint::whole || !lastOps_) {
    paintWhole(options);
    return surface_.get();
  }
  std::vector<PaintOp> ops = paintOps(*layout_, options);
  const std::optional<std::vector<Rect>> changed = damageBetween(*lastOps_, ops);
  if (!changed) {
    paintWhole(options);
    return surface_.get();
  }
  const Owned<cairo_region_t> damage(cairo_region_create());
  for (const Rect& part : *changed) {
    const cairo_rectangle_int_t pixels = pixelsAround(part, scale_, pixelWidth_, pixelHeight_);
    cairo_region_union_rectangle(damage.get(), &pixels);
  }
  damage_ = rectanglesOf(damage.get());
  if (!damage_.empty()) paintParts(options, damage.get());
  lastOps_ = std::move(ops);
  return surface_.get();
}

void FaceRenderer::paintWhole(const PaintOptions& options) {
  damage_ = {Rect{0.0, 0.0, static_cast<double>(pixelWidth_), static_cast<double>(pixelHeight_)}};
  const Owned<cairo_t> cr(cairo_create(surface_.get()));
  std::vector<PaintOp> noted;
  paintInto(cr.get(), options, nullptr, &noted);
  if (layout_) {
    lastOps_ = std::move(noted);
  } else {
    lastOps_.reset();
  }
  cairo_surface_flush(surface_.get());
}

void FaceRenderer::paintParts(const PaintOptions& options, const cairo_region_t* damage) {
  // A changed part is painted on a second image, a little larger than the part, and only the
  // part is copied over: where a clip's edge cuts through an antialiased edge (a corner's
  // curve), the pixel beside the clip's edge can come out a shade off what a whole paint gives
  // (seen at 1.5 pixels a point); two pixels in, the partial paint must equal the whole one,
  // which the tests check frame by frame.
  constexpr int kMargin = 2;
  if (!scratch_) {
    scratch_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth_, pixelHeight_));
  }
  const Owned<cairo_region_t> painted(cairo_region_create());
  for (int i = 0; i < cairo_region_num_rectangles(damage); ++i) {
    cairo_rectangle_int_t part;
    cairo_region_get_rectangle(damage, i, &part);
    const cairo_rectangle_int_t grown{part.x - kMargin, part.y - kMargin, part.width + 2 * kMargin,
                                      part.height + 2 * kMargin};
    cairo_region_union_rectangle(painted.get(), &grown);
  }
  const cairo_rectangle_int_t image{0, 0, pixelWidth_, pixelHeight_};
  cairo_region_intersect_rectangle(painted.get(), &image);
  // The same parts in points, for the painter to skip what touches none of them.
  std::vector<Rect> pointDamage = rectanglesOf(painted.get());
  for (Rect& part : pointDamage) {
    part = Rect{part.x / scale_, part.y / scale_, part.width / scale_, part.height / scale_};
  }
  {
    // Clipped to one rectangle around them all: cairo works out an antialiased edge's coverage
    // clip box by clip box, so where two boxes of a clip meet (a region's bands do), a pixel can
    // come out a shade off a whole paint's, however far inside the damage.
    cairo_rectangle_int_t extents;
    cairo_region_get_extents(painted.get(), &extents);
    const Owned<cairo_t> cr(cairo_create(scratch_.get()));
    cairo_rectangle(cr.get(), extents.x, extents.y, extents.width, extents.height);
    cairo_clip(cr.get());
    paintInto(cr.get(), options, &pointDamage, nullptr);
  }
  cairo_surface_flush(scratch_.get());
  const Owned<cairo_t> copy(cairo_create(surface_.get()));
  cairo_set_operator(copy.get(), CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(copy.get(), scratch_.get(), 0.0, 0.0);
  regionPath(copy.get(), damage);
  cairo_fill(copy.get());
  cairo_surface_flush(surface_.get());
}

void FaceRenderer::paintInto(cairo_t* cr, const PaintOptions& options,
                             const std::vector<Rect>* damage, std::vector<PaintOp>* ops) {
  // The face paints every pixel of an image of whole pixels; otherwise the last frame's edge
  // would show through its partly covered border.
  const bool covered = layout_ && face_.size.width * scale_ == pixelWidth_ &&
                       face_.size.height * scale_ == pixelHeight_;
  if (!covered) {
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }
  cairo_scale(cr, scale_, scale_);
  if (layout_) paintFace(cr, *layout_, options, &masks_, damage, ops);
}

std::string FaceRenderer::writePng(const std::string& path) const {
  return writePng(surface_.get(), path);
}

FaceRenderer::EncodedPng FaceRenderer::encodePng(cairo_surface_t* surface, StackChunk stack) {
  std::string png;
  const cairo_status_t status = cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  if (status != CAIRO_STATUS_SUCCESS) return {std::nullopt, cairo_status_to_string(status)};
  if (stack == StackChunk::left) return {std::move(png), {}};
  return {withPngText(std::move(png), kDrawingStackKeyword, drawingStack()), {}};
}

std::string FaceRenderer::writePng(cairo_surface_t* surface, const std::string& path) {
  // Encoded in memory first and then put in place whole, so the file is never half a picture
  // and the error names what went wrong (Cairo's own only says "error while writing").
  const EncodedPng encoded = encodePng(surface);
  if (!encoded.png) return "cannot write " + path + ": " + encoded.problem;
  return replaceFile(path, *encoded.png);
}

}  // namespace dunvel
