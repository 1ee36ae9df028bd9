// The tree pass: the boxes depth first in tree order, each later one over the earlier ones,
// boxes outside the clip (or touching no changed part) skipped. What is drawn is noted, so that
// a translucent fill over bare black can be drawn opaque and the display's corners cut only
// where needed; a clip to a curved shape is skipped when what it holds stays inside the shape
// anyway.
#include "render/TreePainter.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "render/Culling.h"
#include "render/DesignSystem.h"
#include "render/ShapeMasks.h"
#include "render/ShapePath.h"

namespace dunvel {

Rgba foregroundOf(const LayoutNode& n) {
  const LayoutEnvironment& env = *n.environment;
  if (env.foregroundColor) return resolveColor(*env.foregroundColor);
  // In a button, the icon takes the button's tint and the title stays primary.
  if (n.kind == LayoutNode::Kind::symbol && env.inButton && env.tint) {
    return resolveColor(*env.tint);
  }
  return resolveColor(Color::primary());
}

namespace {

// Vertical stacks with this many children are culled by halving (see paintChildren).
constexpr std::size_t kHalvedFrom = 64;

void setColor(cairo_t* cr, const Rgba& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

Rgba foreground(const LayoutNode& n) {
  return foregroundOf(n);
}

// What a shaped text may touch: its glyphs' ink where it is drawn, with room for antialiasing
// and for hinting, which may move an outline by part of a pixel from where its extents say.
// Not its frame with room for overhang around it: a tick would then repaint the texts beside
// and below the clock as well.
Rect inkReach(const LayoutNode& n) {
  const Rect& ink = n.shaped->ink;
  const Rect drawn{n.frame.x - n.shaped->origin.x + ink.x, n.frame.y - n.shaped->origin.y + ink.y,
                   ink.width, ink.height};
  return drawn.outset(2.0);
}

}  // namespace

void TreePainter::paint(const LayoutNode& n, const Rect& clip) {
  if (!mayShow(n.frame, clip)) return;
  switch (n.kind) {
    case LayoutNode::Kind::text:
    case LayoutNode::Kind::symbol:
      return paintText(n, clip);
    case LayoutNode::Kind::shape:
      return fillShape(n, n.element->shape, n.frame, foreground(n), clip);
    case LayoutNode::Kind::background:
      paintBackground(n, clip);
      return paintChildren(n, clip);
    case LayoutNode::Kind::clip:
      return paintClip(n, clip);
    case LayoutNode::Kind::scrollView:
      return paintScrollView(n, clip);
    case LayoutNode::Kind::button:
      return paintButton(n, clip);
    default:
      return paintChildren(n, clip);
  }
}

void TreePainter::paintText(const LayoutNode& n, const Rect& clip) {
  if (!n.shaped) return;
  PaintOp op = opOf(n, PaintOp::Kind::text, n.frame, inkReach(n));
  op.color = foreground(n);
  op.text = n.shaped->serial;
  op.origin = n.shaped->origin;
  if (note(op)) {
    setColor(cr_, op.color);
    cairo_move_to(cr_, n.frame.x - n.shaped->origin.x, n.frame.y - n.shaped->origin.y);
    showShapedText(cr_, *n.shaped);
  }
  covered(op.bounds, clip);
}

void TreePainter::paintBackground(const LayoutNode& n, const Rect& clip) {
  const Rgba color = resolveColor(*n.modifier->color);
  // A background that fills a clip shape which its content never reaches is drawn as that
  // shape.
  if (shapeFill_ && shapeFill_->frame == n.frame) {
    fillShape(n, *shapeFill_->modifier->shape, n.frame, color, clip);
    return;
  }
  PaintOp op = opOf(n, PaintOp::Kind::fill, n.frame, n.frame.outset(1.0));
  op.color = overFace(color, n.frame, clip);
  if (note(op)) {
    setColor(cr_, op.color);
    cairo_new_path(cr_);
    cairo_rectangle(cr_, n.frame.x, n.frame.y, n.frame.width, n.frame.height);
    cairo_fill(cr_);
  }
  covered(n.frame, clip);
}

// A long vertical stack (a list in a scroll view) has its children top to bottom: only those
// from the first that reaches into the clip to the last that starts above its end are visited,
// found by halving, so a frame of a list of 100 000 rows reads a few dozen of them rather than
// every one (each a miss of the memory cache).
void TreePainter::paintChildren(const LayoutNode& n, const Rect& clip) {
  const std::vector<LayoutNode*>& children = n.children;
  if (n.kind != LayoutNode::Kind::vstack || children.size() < kHalvedFrom || n.spacing < 0.0) {
    for (const LayoutNode* child : children) paint(*child, clip);
    return;
  }
  const auto first = std::partition_point(
      children.begin(), children.end(),
      [&clip](const LayoutNode* child) { return child->frame.maxY() + kGlyphOverhang <= clip.y; });
  for (auto it = first; it != children.end(); ++it) {
    if ((*it)->frame.y - kGlyphOverhang >= clip.maxY()) break;
    paint(**it, clip);
  }
}

bool TreePainter::note(const PaintOp& op) {
  if (ops_ != nullptr) ops_->push_back(op);
  if (cr_ == nullptr) return false;
  if (damage_ == nullptr) return true;
  return std::any_of(damage_->begin(), damage_->end(),
                     [&op](const Rect& part) { return op.bounds.overlaps(part); });
}

PaintOp TreePainter::opOf(const LayoutNode& n, PaintOp::Kind kind, const Rect& rect,
                          const Rect& reach) const {
  PaintOp op;
  op.identity = n.element != nullptr ? n.element->identity : std::string();
  op.box = static_cast<int>(n.kind);
  op.kind = kind;
  op.rect = rect;
  op.clip = hardClip_;
  op.clipShape = clipShape_;
  op.clipShapeFrame = clipShapeFrame_;
  op.groups = groups_;
  op.bounds = reach.intersection(hardClip_);
  if (clipShape_) op.bounds = op.bounds.intersection(clipShapeFrame_);
  return op;
}

void TreePainter::fillShape(const LayoutNode& n, const ShapeGeometry& shape, const Rect& rect,
                            const Rgba& color, const Rect& clip) {
  PaintOp op = opOf(n, PaintOp::Kind::fill, rect, rect.outset(1.0));
  op.color = overFace(color, rect, clip);
  op.shape = shape;
  covered(rect, clip);
  if (!note(op)) return;
  setColor(cr_, op.color);
  if (masks_) {
    masks_->fill(cr_, shape, rect);
    return;
  }
  cairo_new_path(cr_);
  shapePath(cr_, shape, rect);
  cairo_fill(cr_);
}

Rgba TreePainter::overFace(const Rgba& color, const Rect& rect, const Rect& clip) const {
  if (!(color.alpha < 1.0) || groups_ > 0) return color;
  const Rect area = rect.intersection(clip);
  for (const Rect& done : painted_) {
    if (done.overlaps(area)) return color;
  }
  return Rgba{color.red * color.alpha, color.green * color.alpha, color.blue * color.alpha, 1.0};
}

void TreePainter::covered(const Rect& rect, const Rect& clip) {
  const Rect area = rect.intersection(clip);
  if (area.width > 0.0 && area.height > 0.0) painted_.push_back(area);
}

// A clip to a curved shape costs a mask on every drawing inside it. Content that stays inside
// the shape anyway (a card's texts inside its padding) is drawn without it, and only a
// background under the clip takes the shape.
void TreePainter::paintClip(const LayoutNode& n, const Rect& clip) {
  const LayoutNode* outerFill = shapeFill_;
  if (contentInside(n, n)) {
    shapeFill_ = &n;
    for (const LayoutNode* child : n.children) paint(*child, clip.intersection(n.frame));
    shapeFill_ = outerFill;
    return;
  }
  shapeFill_ = nullptr;
  if (cr_ != nullptr) {
    cairo_save(cr_);
    cairo_new_path(cr_);
    shapePath(cr_, *n.modifier->shape, n.frame);
    cairo_clip(cr_);
  }
  // Clips inside clips are not made here (the tree has none): the innermost one is noted.
  const std::optional<ShapeGeometry> outerShape = clipShape_;
  const Rect outerShapeFrame = clipShapeFrame_;
  clipShape_ = *n.modifier->shape;
  clipShapeFrame_ = n.frame;
  for (const LayoutNode* child : n.children) paint(*child, clip.intersection(n.frame));
  clipShape_ = outerShape;
  clipShapeFrame_ = outerShapeFrame;
  if (cr_ != nullptr) cairo_restore(cr_);
  shapeFill_ = outerFill;
}

// The test is conservative: a continuous corner of radius r lies outside a circular one of
// radius r times its extent, and a circle is tested as one.
bool TreePainter::contentInside(const LayoutNode& clipNode, const LayoutNode& node) {
  for (const LayoutNode* child : node.children) {
    const bool leaf = child->children.empty() || child->kind == LayoutNode::Kind::button;
    const bool fillsClip =
        child->kind == LayoutNode::Kind::background && child->frame == clipNode.frame;
    if (leaf && !fillsClip && !insideShape(child->frame.outset(1.0), clipNode)) return false;
    if (!leaf && !contentInside(clipNode, *child)) return false;
  }
  return true;
}

bool TreePainter::insideShape(const Rect& r, const LayoutNode& clipNode) {
  const Rect& s = clipNode.frame;
  const ShapeGeometry& shape = *clipNode.modifier->shape;
  if (r.x < s.x || r.y < s.y || r.maxX() > s.maxX() || r.maxY() > s.maxY()) return false;
  double radius = std::min(s.width, s.height) / 2;
  if (shape.kind == ShapeGeometry::Kind::roundedRectangle) {
    const double factor =
        shape.style == RoundedCornerStyle::continuous ? kContinuousCornerExtent : 1.0;
    radius = std::min(radius, shape.cornerRadius * factor);
  }
  const double corners[4][2] = {{r.x, r.y}, {r.maxX(), r.y}, {r.x, r.maxY()}, {r.maxX(), r.maxY()}};
  for (const auto& c : corners) {
    const double cx = std::clamp(c[0], s.x + radius, s.maxX() - radius);
    const double cy = std::clamp(c[1], s.y + radius, s.maxY() - radius);
    if (std::hypot(c[0] - cx, c[1] - cy) > radius) return false;
  }
  return true;
}

void TreePainter::paintScrollView(const LayoutNode& n, const Rect& clip) {
  const Rect inside = clip.intersection(n.frame);
  if (cr_ != nullptr) {
    cairo_save(cr_);
    cairo_rectangle(cr_, inside.x, inside.y, inside.width, inside.height);
    cairo_clip(cr_);
  }
  const Rect outerClip = hardClip_;
  hardClip_ = hardClip_.intersection(inside);
  for (const LayoutNode* child : n.children) paint(*child, inside);
  hardClip_ = outerClip;
  if (cr_ != nullptr) cairo_restore(cr_);
  paintScrollIndicator(n, clip);
}

void TreePainter::paintScrollIndicator(const LayoutNode& n, const Rect& clip) {
  const double viewport = n.frame.height;
  if (n.element->showsIndicators != ShowsIndicators::yes || n.contentHeight <= viewport + 0.5 ||
      viewport <= 0.0) {
    return;
  }
  // The indicator stands beside the crown, on the right whatever the layout direction, and is
  // as long as the visible share of the content.
  const double maxOffset = n.contentHeight - viewport;
  const double track = viewport - 2 * design::scrollIndicatorInset;
  const double length =
      std::clamp(track * viewport / n.contentHeight, design::scrollIndicatorMinLength, track);
  const double y = n.frame.y + design::scrollIndicatorInset +
                   (track - length) * std::clamp(n.scrollOffset / maxOffset, 0.0, 1.0);
  const double x = n.frame.maxX() - design::scrollIndicatorInset - design::scrollIndicatorWidth;
  const Rect indicator{x, y, design::scrollIndicatorWidth, length};
  PaintOp op = opOf(n, PaintOp::Kind::indicator, indicator, indicator.outset(1.0));
  op.color = Rgba{1.0, 1.0, 1.0, 0.55};
  if (note(op)) {
    cairo_new_path(cr_);
    roundedRectanglePath(cr_, indicator, design::scrollIndicatorWidth / 2,
                         RoundedCornerStyle::circular);
    cairo_set_source_rgba(cr_, 1.0, 1.0, 1.0, 0.55);
    cairo_fill(cr_);
  }
  covered(indicator, clip);
}

void TreePainter::paintButton(const LayoutNode& n, const Rect& clip) {
  const bool pressed =
      !options_.pressedButton.empty() && n.element->identity == options_.pressedButton;
  Rgba fill = resolveColor(n.environment->tint.value_or(Color::gray()));
  fill.alpha *= pressed ? design::buttonPressedFillOpacity : design::buttonFillOpacity;
  // A capsule: ends of half the button's height, round (a capsule's corners are circular).
  fillShape(
      n,
      ShapeGeometry{ShapeGeometry::Kind::roundedRectangle,
                    std::min(n.frame.width, n.frame.height) / 2, RoundedCornerStyle::circular},
      n.frame, fill, clip);
  if (!pressed) {
    for (const LayoutNode* child : n.children) paint(*child, clip);
    return;
  }
  // Held down: the label dims, as the watch's buttons do under a finger.
  if (cr_ != nullptr) cairo_push_group(cr_);
  ++groups_;
  for (const LayoutNode* child : n.children) paint(*child, clip);
  --groups_;
  if (cr_ != nullptr) {
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, 0.7);
  }
}

}  // namespace dunvel
