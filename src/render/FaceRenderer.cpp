#include "render/FaceRenderer.h"

#include <cairo.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "render/ReplaceFile.h"

namespace dunvel {

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

const FaceLayout& FaceRenderer::layout(const Element& tree, const ScrollOffsets& offsets) {
  engine_.beginFrame();
  layout_.reset();
  layout_ = std::make_unique<FaceLayout>(tree, face_, engine_, offsets, time_);
  return *layout_;
}

cairo_surface_t* FaceRenderer::paint(const PaintOptions& options) {
  {
    const Owned<cairo_t> cr(cairo_create(surface_.get()));
    // The face paints every pixel of an image of whole pixels; otherwise the last frame's edge
    // would show through its partly covered border.
    const bool covered = layout_ && face_.size.width * scale_ == pixelWidth_ &&
                         face_.size.height * scale_ == pixelHeight_;
    if (!covered) {
      cairo_set_operator(cr.get(), CAIRO_OPERATOR_CLEAR);
      cairo_paint(cr.get());
      cairo_set_operator(cr.get(), CAIRO_OPERATOR_OVER);
    }
    cairo_scale(cr.get(), scale_, scale_);
    if (layout_) paintFace(cr.get(), *layout_, options, &masks_);
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
