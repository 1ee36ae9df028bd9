#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "render/FaceLayout.h"
#include "render/FacePainter.h"
#include "render/FaceSize.h"
#include "render/Owned.h"
#include "render/ShapeMasks.h"
#include "render/TextEngine.h"

namespace dunvel {

// The face of one watch size at one scale: lays out element trees and paints them into an
// ARGB image of (width × scale) × (height × scale) pixels. Texts stay shaped between frames.
// A renderer is used only on the thread that made it; renderers of different threads may draw
// at the same time (see TextEngine).
class FaceRenderer {
 public:
  // scale: pixels per point, from 0.25 to 8 (std::invalid_argument otherwise).
  explicit FaceRenderer(FaceSize size, double scale = 2.0, const std::string& fontsConf = {});
  ~FaceRenderer();
  FaceRenderer(const FaceRenderer&) = delete;
  FaceRenderer& operator=(const FaceRenderer&) = delete;

  // The time the band at the top shows from the next layout on ("10:09"); empty for none.
  void setTime(std::string time) { time_ = std::move(time); }
  const std::string& time() const { return time_; }
  // The text size of the next layout on.
  void setTextSize(TextSize size) { face_.textSize = size; }

  // Lays out a tree (which must outlive the layout) and returns the layout. A tree that differs
  // from the last one laid out only in texts is laid out in the last layout: texts that take
  // the same room (the clock's next second) are shaped and the boxes placed again, nothing
  // measured; other texts are measured again with the boxes around them (see
  // FaceLayout::relayText). Relayout::whole lays out everything anew.
  enum class Relayout { changed, whole };
  const FaceLayout& layout(const Element& tree, const ScrollOffsets& offsets = {},
                           Relayout relayout = Relayout::changed);
  // The last layout placed again for other scroll offsets (see FaceLayout::placeAgain): a
  // scroll re-measures nothing. Null before the first layout.
  const FaceLayout* scroll(const ScrollOffsets& offsets);
  // Lays out the time set by setTime in the last layout, leaving the rest as it is: the turn
  // of a minute measures nothing else.
  void placeTime() {
    if (layout_) layout_->placeTime(time_);
  }
  // What the renderer has done since it was made, for tests and benchmarks.
  struct Stats {
    // Trees laid out anew, not in the last layout (see layout()).
    std::size_t wholeLayouts = 0;
  };
  const Stats& stats() const { return stats_; }
  // The last layout; null before the first.
  const FaceLayout* lastLayout() const { return layout_.get(); }

  // Paints the last layout into the image and returns it (owned by the renderer; premultiplied
  // ARGB32, one row every stride bytes). Only the parts where the drawings differ from the last
  // paint's are painted again (what changed is damage()); the image then equals a whole paint.
  // Repaint::whole paints everything.
  enum class Repaint { changed, whole };
  cairo_surface_t* paint(const PaintOptions& options = {}, Repaint repaint = Repaint::changed);
  cairo_surface_t* image() const { return surface_.get(); }
  // The parts of the image the last paint painted, in pixels: empty when nothing changed, the
  // whole image when all was painted.
  const std::vector<Rect>& damage() const { return damage_; }

  // Writes the image as a PNG, whole or not at all (see replaceFile); an empty string on
  // success, else one line naming the path and what went wrong.
  std::string writePng(const std::string& path) const;
  // The same for any image surface.
  static std::string writePng(cairo_surface_t* surface, const std::string& path);
  // Any image surface encoded as a PNG in memory: its bytes, or else Cairo's reason. An image
  // this process drew names its drawing stack in a text chunk (see DrawingStack.h); a copy of
  // pixels drawn elsewhere (a reference) must not claim to be ours.
  struct EncodedPng {
    std::optional<std::string> png;
    std::string problem;
  };
  enum class StackChunk { named, left };
  static EncodedPng encodePng(cairo_surface_t* surface, StackChunk stack = StackChunk::named);

  const FaceMetrics& face() const { return face_; }
  double scale() const { return scale_; }
  int pixelWidth() const { return pixelWidth_; }
  int pixelHeight() const { return pixelHeight_; }
  TextEngine& textEngine() { return engine_; }

 private:
  // Paints everything, noting the drawings for the next frame.
  void paintWhole(const PaintOptions& options);
  // Paints the parts of the image in damage (pixels) again.
  void paintParts(const PaintOptions& options, const cairo_region_t* damage);
  // The last layout painted through cr, in pixels (see paintFace for damage and ops).
  void paintInto(cairo_t* cr, const PaintOptions& options, const std::vector<Rect>* damage,
                 std::vector<PaintOp>* ops);

  FaceMetrics face_;
  double scale_;
  int pixelWidth_;
  int pixelHeight_;
  TextEngine engine_;
  ShapeMasks masks_;
  std::string time_;
  std::unique_ptr<FaceLayout> layout_;
  // The text size the last layout was made for.
  TextSize laidOutTextSize_ = TextSize::large;
  Stats stats_;
  Owned<cairo_surface_t> surface_;
  // Where changed parts are painted before they are copied into the image.
  Owned<cairo_surface_t> scratch_;
  // The drawings of the last paint, if it painted a layout, and what it painted.
  std::optional<std::vector<PaintOp>> lastOps_;
  std::vector<Rect> damage_;
};

}  // namespace dunvel
