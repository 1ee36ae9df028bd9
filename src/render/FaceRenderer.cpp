#include "render/FaceRenderer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "files/ReplaceFile.h"

namespace dunvel {

namespace {

// Rectangles that overlap or touch are joined into the rectangle around both, until none do:
// cairo clips exactly (and cheaply) to boxes that do not overlap.
std::vector<Rect> disjointCover(std::vector<Rect> parts) {
  bool joined = true;
  while (joined) {
    joined = false;
    for (std::size_t i = 0; i < parts.size() && !joined; ++i) {
      for (std::size_t j = i + 1; j < parts.size() && !joined; ++j) {
        const Rect& a = parts[i];
        const Rect& b = parts[j];
        if (a.x > b.maxX() || b.x > a.maxX() || a.y > b.maxY() || b.y > a.maxY()) continue;
        const double x = std::min(a.x, b.x);
        const double y = std::min(a.y, b.y);
        parts[i] = Rect{x, y, std::max(a.maxX(), b.maxX()) - x, std::max(a.maxY(), b.maxY()) - y};
        parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(j));
        joined = true;
      }
    }
  }
  return parts;
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
  ++wholeLayouts_;
  laidOutTextSize_ = face_.textSize;
  return *layout_;
}

const FaceLayout* FaceRenderer::scroll(const ScrollOffsets& offsets) {
  if (layout_) layout_->placeAgain(offsets);
  return layout_.get();
}

cairo_surface_t* FaceRenderer::paint(const PaintOptions& options, Repaint repaint) {
  const Rect whole{0.0, 0.0, static_cast<double>(pixelWidth_), static_cast<double>(pixelHeight_)};
  // What changed is known from this frame's drawings before painting; a whole paint notes its
  // drawings (for the next frame) as it paints them.
  std::optional<std::vector<PaintOp>> ops;
  std::optional<std::vector<Rect>> changed;
  if (layout_ && repaint == Repaint::changed && lastOps_) {
    ops = paintOps(*layout_, options);
    changed = damageBetween(*lastOps_, *ops);
  }
  // The changed parts in whole pixels, and the same back in points for the painter: a drawing
  // that reaches into a pixel of the damage is drawn again, however little of it.
  std::vector<Rect> pointDamage;
  damage_.clear();
  if (changed) {
    for (const Rect& part : *changed) {
      const double left = std::max(std::floor(part.x * scale_), 0.0);
      const double top = std::max(std::floor(part.y * scale_), 0.0);
      const double right = std::min(std::ceil(part.maxX() * scale_), whole.width);
      const double bottom = std::min(std::ceil(part.maxY() * scale_), whole.height);
      if (right <= left || bottom <= top) continue;
      damage_.push_back(Rect{left, top, right - left, bottom - top});
    }
    damage_ = disjointCover(std::move(damage_));
  } else {
    damage_.push_back(whole);
  }
  if (damage_.empty()) {
    lastOps_ = std::move(ops);
    return surface_.get();
  }

  // A changed part is painted on a second image, a little larger than the part, and only the
  // part is copied over: where a clip's edge cuts through an antialiased edge (a corner's
  // curve), the pixel beside the clip's edge can come out a shade off what a whole paint gives
  // (seen at 1.5 pixels a point); two pixels in, the partial paint must equal the whole one,
  // which the tests check frame by frame.
  std::vector<Rect> painted;
  if (changed) {
    if (!scratch_) {
      scratch_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth_, pixelHeight_));
    }
    constexpr double kMargin = 2.0;
    for (const Rect& part : damage_) {
      const double left = std::max(part.x - kMargin, 0.0);
      const double top = std::max(part.y - kMargin, 0.0);
      painted.push_back(Rect{left, top, std::min(part.maxX() + kMargin, whole.width) - left,
                             std::min(part.maxY() + kMargin, whole.height) - top});
    }
    painted = disjointCover(std::move(painted));
    for (const Rect& part : painted) {
      pointDamage.push_back(
          Rect{part.x / scale_, part.y / scale_, part.width / scale_, part.height / scale_});
    }
  }
  {
    const Owned<cairo_t> owned(cairo_create(changed ? scratch_.get() : surface_.get()));
    cairo_t* cr = owned.get();
    if (changed) {
      for (const Rect& part : painted) cairo_rectangle(cr, part.x, part.y, part.width, part.height);
      cairo_clip(cr);
    }
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
    std::vector<PaintOp> noted;
    if (layout_) {
      paintFace(cr, *layout_, options, &masks_, changed ? &pointDamage : nullptr,
                ops ? nullptr : &noted);
    }
    if (!layout_) {
      lastOps_.reset();
    } else if (ops) {
      lastOps_ = std::move(ops);
    } else {
      lastOps_ = std::move(noted);
    }
  }
  if (changed) {
    cairo_surface_flush(scratch_.get());
    const Owned<cairo_t> copy(cairo_create(surface_.get()));
    cairo_set_operator(copy.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(copy.get(), scratch_.get(), 0.0, 0.0);
    for (const Rect& part : damage_) {
      cairo_rectangle(copy.get(), part.x, part.y, part.width, part.height);
    }
    cairo_fill(copy.get());
  }
  cairo_surface_flush(surface_.get());
  return surface_.get();
}

std::string FaceRenderer::writePng(const std::string& path) const {
  return writePng(surface_.get(), path);
}

std::string FaceRenderer::writePng(cairo_surface_t* surface, const std::string& path) {
  // Encoded in memory first and then put in place whole, so the file is never half a picture
  // and the error names what went wrong (Cairo's own only says "error while writing").
  std::string png;
  const cairo_status_t status = cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  if (status != CAIRO_STATUS_SUCCESS) {
    return "cannot write " + path + ": " + cairo_status_to_string(status);
  }
  return replaceFile(path, png);
}

}  // namespace dunvel
