#pragma once

#include <optional>
#include <vector>

#include "render/Geometry.h"
#include "render/LayoutNode.h"
#include "render/PaintOp.h"
#include "render/PaintOptions.h"

using cairo_t = struct _cairo;

namespace dunvel {

class ShapeMasks;

// The tree pass of a frame (see FacePainter.cpp): walks the laid-out boxes in painting order.
// Every drawing is noted (when asked) and made (when there is a cairo context and the drawing
// touches the damage, if any); what decides a drawing (what was drawn under it, the clips
// around it) is kept track of either way, so a partial paint decides everything as the whole
// one does.
class TreePainter {
 public:
  // cr null: nothing is drawn, the drawings are only noted into ops. display: the face.
  TreePainter(cairo_t* cr, const PaintOptions& options, ShapeMasks* masks,
              const std::vector<Rect>* damage, std::vector<PaintOp>* ops, const Rect& display)
      : cr_(cr), options_(options), masks_(masks), damage_(damage), ops_(ops), hardClip_(display) {}

  // Paints box n and everything inside it, clipped to clip.
  void paint(const LayoutNode& n, const Rect& clip);

  // Everything drawn so far, in points: texts with the room their glyphs may overhang.
  const std::vector<Rect>& painted() const { return painted_; }

  // Notes a drawing; whether to make it.
  bool note(const PaintOp& op);

 private:
  void paintText(const LayoutNode& n, const Rect& clip);
  void paintBackground(const LayoutNode& n, const Rect& clip);
  void paintChildren(const LayoutNode& n, const Rect& clip);
  // A drawing of box n, touching at most `reach` inside the clips around it.
  PaintOp opOf(const LayoutNode& n, PaintOp::Kind kind, const Rect& rect, const Rect& reach) const;
  void fillShape(const LayoutNode& n, const ShapeGeometry& shape, const Rect& rect,
                 const Rgba& color, const Rect& clip);
  // A translucent colour over a part of the face where nothing has been drawn yet lands on its
  // opaque black: that is the colour times its opacity, drawn opaque, which the image takes as
  // plain stores instead of blending every pixel. Inside a group (the pressed button's label)
  // the backdrop is transparent, so colours stay as they are.
  Rgba overFace(const Rgba& color, const Rect& rect, const Rect& clip) const;
  void covered(const Rect& rect, const Rect& clip);
  void paintClip(const LayoutNode& n, const Rect& clip);
  // Whether everything drawn under node, backgrounds as large as the clip aside, stays inside
  // the clip's shape.
  static bool contentInside(const LayoutNode& clipNode, const LayoutNode& node);
  static bool insideShape(const Rect& r, const LayoutNode& clipNode);
  void paintScrollView(const LayoutNode& n, const Rect& clip);
  void paintScrollIndicator(const LayoutNode& n, const Rect& clip);
  void paintButton(const LayoutNode& n, const Rect& clip);

  cairo_t* cr_;
  const PaintOptions& options_;
  ShapeMasks* masks_;
  const std::vector<Rect>* damage_;
  std::vector<PaintOp>* ops_;
  // The clip whose shape a background directly under it is drawn with, if any.
  const LayoutNode* shapeFill_ = nullptr;
  // The rectangle cairo clips drawings to (the display, scroll views), and the curved clip
  // drawings are made through, if any.
  Rect hardClip_;
  std::optional<ShapeGeometry> clipShape_;
  Rect clipShapeFrame_;
  // What has been drawn over the black face so far, in points, and how many groups (drawn on a
  // transparent backdrop) are open.
  std::vector<Rect> painted_;
  int groups_ = 0;
};

}  // namespace dunvel
