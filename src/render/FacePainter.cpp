// A frame is painted in passes over a laid-out face, in points. The same walk without a Cairo
// context only notes the drawings it would make (paintOps); the renderer compares two frames'
// notes (damageBetween) and has only the parts that changed painted again.
//   display  black inside the display's rounded outline (its corners kept as an image by the
//            shape masks when it covers whole pixels);
//   tree     the boxes depth first in tree order (TreePainter);
//   time     the time in the band at the top;
//   corners  the display's corners cut out again where anything was drawn over them;
//   haptic   the ring of a haptic pulse, along the display's edge, over everything.
#include "render/FacePainter.h"

#include <cairo.h>

#include <algorithm>

#include "render/DesignSystem.h"
#include "render/ShapeMasks.h"
#include "render/ShapePath.h"
#include "render/TreePainter.h"

namespace dunvel {
namespace {

// The display pass: black inside the display, from the kept image when there is one (its
// corners already cut: then only what the tree draws over them needs cutting again). Whether
// the kept image was used.
bool paintDisplay(cairo_t* cr, const FaceMetrics& face, const Rect& display, ShapeMasks* masks) {
  const double cornerExtent =
      continuousCornerBounds(display, face.displayCornerRadius, Corner::topRight).width;
  if (masks && masks->paintDisplay(cr, display, face.displayCornerRadius, cornerExtent)) {
    return true;
  }
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  cairo_paint(cr);
  return false;
}

// The haptic ring's drawing, over the whole display.
PaintOp hapticRingOp(HapticType haptic, const Rect& display) {
  PaintOp ring;
  ring.identity = "haptic";
  ring.kind = PaintOp::Kind::haptic;
  ring.rect = display;
  ring.color = hapticRingLook(haptic).color;
  ring.clip = display;
  ring.bounds = display;
  return ring;
}

// The corners pass: the display's rounded corners are cut out last, each only as far as
// something was drawn over it when the kept display was used: clipping every drawing to a
// curved outline would cost a mask on each of them.
void cutCorners(cairo_t* cr, const FaceMetrics& face, const Rect& display, bool keptDisplay,
                const std::vector<Rect>& painted) {
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  for (const Corner corner : kCorners) {
    cairo_save(cr);
    if (keptDisplay) {
      const Rect box = continuousCornerBounds(display, face.displayCornerRadius, corner);
      bool drawnOver = false;
      cairo_new_path(cr);
      for (const Rect& drawn : painted) {
        const Rect hit = drawn.intersection(box);
        if (hit.width <= 0.0 || hit.height <= 0.0) continue;
        cairo_rectangle(cr, hit.x, hit.y, hit.width, hit.height);
        drawnOver = true;
      }
      if (!drawnOver) {
        cairo_restore(cr);
        continue;
      }
      cairo_clip(cr);
    }
    cairo_new_path(cr);
    outsideContinuousCornerPath(cr, display, face.displayCornerRadius, corner);
    cairo_fill(cr);
    cairo_restore(cr);
  }
}

// The haptic pass: the ring along the display's rounded edge, inside it.
void drawHapticRing(cairo_t* cr, const FaceMetrics& face, HapticType haptic) {
  const HapticRingLook look = hapticRingLook(haptic);
  const double inset = look.width / 2;
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  cairo_new_path(cr);
  roundedRectanglePath(
      cr, Rect{inset, inset, face.size.width - look.width, face.size.height - look.width},
      std::max(face.displayCornerRadius - inset, 0.0), RoundedCornerStyle::continuous);
  cairo_set_source_rgba(cr, look.color.red, look.color.green, look.color.blue, look.color.alpha);
  cairo_set_line_width(cr, look.width);
  cairo_stroke(cr);
}

// The face painted, or (without cr) only its drawings noted into ops.
void paintOrNote(cairo_t* cr, const FaceLayout& layout, const PaintOptions& options,
                 ShapeMasks* masks, const std::vector<Rect>* damage, std::vector<PaintOp>* ops) {
  const FaceMetrics& face = layout.face();
  const Rect display{0.0, 0.0, face.size.width, face.size.height};
  bool keptDisplay = false;
  if (cr != nullptr) {
    cairo_save(cr);
    cairo_rectangle(cr, display.x, display.y, display.width, display.height);
    cairo_clip(cr);
    keptDisplay = paintDisplay(cr, face, display, masks);
  }
  TreePainter painter(cr, options, masks, damage, ops, display);
  painter.paint(layout.placedRoot(), display);
  if (const LayoutNode* time = layout.time()) painter.paint(*time, display);
  const bool drawRing = options.haptic && painter.note(hapticRingOp(*options.haptic, display));
  if (cr == nullptr) return;
  cutCorners(cr, face, display, keptDisplay, painter.painted());
  if (drawRing) drawHapticRing(cr, face, *options.haptic);
  cairo_restore(cr);
}

}  // namespace

void paintFace(cairo_t* cr, const FaceLayout& layout, const PaintOptions& options,
               ShapeMasks* masks, const std::vector<Rect>* damage, std::vector<PaintOp>* ops) {
  paintOrNote(cr, layout, options, masks, damage, ops);
}

std::vector<PaintOp> paintOps(const FaceLayout& layout, const PaintOptions& options) {
  std::vector<PaintOp> ops;
  paintOrNote(nullptr, layout, options, nullptr, nullptr, &ops);
  return ops;
}

}  // namespace dunvel
