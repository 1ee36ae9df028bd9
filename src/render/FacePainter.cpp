// A frame is painted in passes over a laid-out face, in points. The same walk without a Cairo
// context only notes the drawings it would make (paintOps); the renderer compares two frames'
// notes (damageBetween) and has only the parts that changed painted again.
//   display  black inside the display's rounded outline (its corners kept as an image by the
//            shape masks when it covers whole pixels);
//   tree     the boxes depth first in tree order, each later one over the earlier ones, boxes
//            outside the clip (or touching no changed part) skipped; what is drawn is noted, so
//            that a translucent fill over bare black can be drawn opaque and the corners cut
//            only where needed; a clip to a curved shape is skipped when what it holds stays
//            inside the shape anyway;
//   time     the time in the band at the top;
//   corners  the display's corners cut out again where anything was drawn over them;
//   haptic   the ring of a haptic pulse, along the display's edge, over everything.
#include "render/FacePainter.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "render/DesignSystem.h"
#include "render/ShapeMasks.h"

namespace dunvel {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Glyphs may overhang their logical box a little; keep them when culling.
constexpr double kOverhang = 4.0;
// Vertical stacks with this many children are culled by halving (see paintChildren).
constexpr std::size_t kHalvedFrom = 64;

void setColor(cairo_t* cr, const Rgba& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

Rect grown(const Rect& r, double by) {
  return Rect{r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by};
}

bool visible(const Rect& frame, const Rect& clip) {
  const Rect hit = grown(frame, kOverhang).intersection(clip);
  return hit.width > 0.0 && hit.height > 0.0;
}

Rgba foreground(const LayoutNode& n, bool symbol) {
  const LayoutEnvironment& env = *n.environment;
  if (env.foregroundColor) return resolveColor(*env.foregroundColor);
  // In a button, the icon takes the button's tint and the title stays primary.
  if (symbol && env.inButton && env.tint) return resolveColor(*env.tint);
  return resolveColor(Color::primary());
}

// What a shaped text may touch: its glyphs' ink where it is drawn, with room for antialiasing
// and for hinting, which may move an outline by part of a pixel from where its extents say.
// Not its frame with room for overhang around it: a tick would then repaint the texts beside
// and below the clock as well.
Rect inkReach(const LayoutNode& n) {
  const Rect& ink = n.shaped->ink;
  const Rect drawn{n.frame.x - n.shaped->origin.x + ink.x, n.frame.y - n.shaped->origin.y + ink.y,
                   ink.width, ink.height};
  return grown(drawn, 2.0);
}

bool touches(const Rect& a, const Rect& b) {
  const Rect hit = a.intersection(b);
  return hit.width > 0.0 && hit.height > 0.0;
}

// Walks the laid-out tree in painting order. Every drawing is noted (when asked) and made
// (when there is a cairo context and the drawing touches the damage, if any); what decides a
// drawing (what was drawn under it, the clips around it) is kept track of either way, so a
// partial paint decides everything as the whole one does.
class Painter {
 public:
  Painter(cairo_t* cr, const PaintOptions& options, ShapeMasks* masks,
          const std::vector<Rect>* damage, std::vector<PaintOp>* ops, const Rect& display)
      : cr_(cr), options_(options), masks_(masks), damage_(damage), ops_(ops), hardClip_(display) {}

  void paint(const LayoutNode& n, const Rect& clip) {
    if (!visible(n.frame, clip)) return;
    switch (n.kind) {
      case LayoutNode::Kind::text:
      case LayoutNode::Kind::symbol:
        if (n.shaped) {
          PaintOp op = opOf(n, PaintOp::Kind::text, n.frame, inkReach(n));
          op.color = foreground(n, n.kind == LayoutNode::Kind::symbol);
          op.text = n.shaped->serial;
          op.origin = n.shaped->origin;
          if (note(op)) {
            setColor(cr_, op.color);
            cairo_move_to(cr_, n.frame.x - n.shaped->origin.x, n.frame.y - n.shaped->origin.y);
            pango_cairo_show_layout(cr_, n.shaped->layout);
          }
          covered(op.bounds, clip);
        }
        return;
      case LayoutNode::Kind::shape:
        fillShape(n, n.element->shape, n.frame, foreground(n, false), clip);
        return;
      case LayoutNode::Kind::background: {
        const Rgba color = resolveColor(*n.modifier->color);
        // A background that fills a clip shape which its content never reaches is drawn as
        // that shape.
        if (shapeFill_ && shapeFill_->frame == n.frame) {
          fillShape(n, *shapeFill_->modifier->shape, n.frame, color, clip);
        } else {
          PaintOp op = opOf(n, PaintOp::Kind::fill, n.frame, grown(n.frame, 1.0));
          op.color = overFace(color, n.frame, clip);
          if (note(op)) {
            setColor(cr_, op.color);
            cairo_new_path(cr_);
            cairo_rectangle(cr_, n.frame.x, n.frame.y, n.frame.width, n.frame.height);
            cairo_fill(cr_);
          }
          covered(n.frame, clip);
        }
        break;
      }
      case LayoutNode::Kind::clip:
        paintClip(n, clip);
        return;
      case LayoutNode::Kind::scrollView:
        paintScrollView(n, clip);
        return;
      case LayoutNode::Kind::button:
        paintButton(n, clip);
        return;
      default:
        break;
    }
    paintChildren(n, clip);
  }

  // A long vertical stack (a list in a scroll view) has its children top to bottom: only those
  // from the first that reaches into the clip to the last that starts above its end are
  // visited, found by halving, so a frame of a list of 100 000 rows reads a few dozen of them
  // rather than every one (each a miss of the memory cache).
  void paintChildren(const LayoutNode& n, const Rect& clip) {
    const std::vector<LayoutNode*>& children = n.children;
    if (n.kind != LayoutNode::Kind::vstack || children.size() < kHalvedFrom || n.spacing < 0.0) {
      for (const LayoutNode* child : children) paint(*child, clip);
      return;
    }
    const auto first = std::partition_point(
        children.begin(), children.end(),
        [&clip](const LayoutNode* child) { return child->frame.maxY() + kOverhang <= clip.y; });
    for (auto it = first; it != children.end(); ++it) {
      if ((*it)->frame.y - kOverhang >= clip.maxY()) break;
      paint(**it, clip);
    }
  }

  // Everything drawn so far, in points: texts with the room their glyphs may overhang.
  const std::vector<Rect>& painted() const { return painted_; }

  // Notes a drawing; whether to make it.
  bool note(const PaintOp& op) {
    if (ops_ != nullptr) ops_->push_back(op);
    if (cr_ == nullptr) return false;
    if (damage_ == nullptr) return true;
    for (const Rect& part : *damage_) {
      if (touches(op.bounds, part)) return true;
    }
    return false;
  }

 private:
  // A drawing of box n, touching at most `reach` inside the clips around it.
  PaintOp opOf(const LayoutNode& n, PaintOp::Kind kind, const Rect& rect, const Rect& reach) {
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

  void fillShape(const LayoutNode& n, const ShapeGeometry& shape, const Rect& rect,
                 const Rgba& color, const Rect& clip) {
    PaintOp op = opOf(n, PaintOp::Kind::fill, rect, grown(rect, 1.0));
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

  // A translucent colour over a part of the face where nothing has been drawn yet lands on its
  // opaque black: that is the colour times its opacity, drawn opaque, which the image takes as
  // plain stores instead of blending every pixel. Inside a group (the pressed button's label)
  // the backdrop is transparent, so colours stay as they are.
  Rgba overFace(const Rgba& color, const Rect& rect, const Rect& clip) const {
    if (!(color.alpha < 1.0) || groups_ > 0) return color;
    const Rect area = rect.intersection(clip);
    for (const Rect& done : painted_) {
      const Rect hit = done.intersection(area);
      if (hit.width > 0.0 && hit.height > 0.0) return color;
    }
    return Rgba{color.red * color.alpha, color.green * color.alpha, color.blue * color.alpha, 1.0};
  }

  void covered(const Rect& rect, const Rect& clip) {
    const Rect area = rect.intersection(clip);
    if (area.width > 0.0 && area.height > 0.0) painted_.push_back(area);
  }

  // A clip to a curved shape costs a mask on every drawing inside it. Content that stays inside
  // the shape anyway (a card's texts inside its padding) is drawn without it, and only a
  // background under the clip takes the shape.
  void paintClip(const LayoutNode& n, const Rect& clip) {
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

  // Whether everything drawn under node, backgrounds as large as the clip aside, stays inside
  // the clip's shape. The test is conservative: a continuous corner of radius r lies outside a
  // circular one of radius 1.53 r, and a circle is tested as one.
  static bool contentInside(const LayoutNode& clipNode, const LayoutNode& node) {
    for (const LayoutNode* child : node.children) {
      const bool leaf = child->children.empty() || child->kind == LayoutNode::Kind::button;
      const bool fillsClip =
          child->kind == LayoutNode::Kind::background && child->frame == clipNode.frame;
      if (leaf && !fillsClip && !insideShape(grown(child->frame, 1.0), clipNode)) return false;
      if (!leaf && !contentInside(clipNode, *child)) return false;
    }
    return true;
  }

  static bool insideShape(const Rect& r, const LayoutNode& clipNode) {
    const Rect& s = clipNode.frame;
    const ShapeGeometry& shape = *clipNode.modifier->shape;
    if (r.x < s.x || r.y < s.y || r.maxX() > s.maxX() || r.maxY() > s.maxY()) return false;
    double radius = std::min(s.width, s.height) / 2;
    if (shape.kind == ShapeGeometry::Kind::roundedRectangle) {
      const double factor = shape.style == RoundedCornerStyle::continuous ? 1.52866483 : 1.0;
      radius = std::min(radius, shape.cornerRadius * factor);
    }
    const double corners[4][2] = {
        {r.x, r.y}, {r.maxX(), r.y}, {r.x, r.maxY()}, {r.maxX(), r.maxY()}};
    for (const auto& c : corners) {
      const double cx = std::clamp(c[0], s.x + radius, s.maxX() - radius);
      const double cy = std::clamp(c[1], s.y + radius, s.maxY() - radius);
      if (std::hypot(c[0] - cx, c[1] - cy) > radius) return false;
    }
    return true;
  }

  void paintScrollView(const LayoutNode& n, const Rect& clip) {
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
    PaintOp op = opOf(n, PaintOp::Kind::indicator, indicator, grown(indicator, 1.0));
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

  void paintButton(const LayoutNode& n, const Rect& clip) {
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

  cairo_t* cr_;
  const PaintOptions& options_;
  // The clip whose shape a background directly under it is drawn with, if any.
  const LayoutNode* shapeFill_ = nullptr;
  ShapeMasks* masks_;
  const std::vector<Rect>* damage_;
  std::vector<PaintOp>* ops_;
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

}  // namespace

namespace {

constexpr double kExtent = 1.52866483;
// (along, across) in radii, from where a continuous corner leaves one edge to where it meets
// the next: three cubic curves with no jump in curvature where they join the straight edges,
// the usual construction of a smooth ("continuous") corner.
constexpr double kCurve[9][2] = {
    {1.08849323, 0.0},        {0.86840689, 0.0},        {0.66993427, 0.06549600},
    {0.37282392, 0.19354179}, {0.19354179, 0.37282392}, {0.06549600, 0.66993427},
    {0.0, 0.86840701},        {0.0, 1.08849299},        {0.0, kExtent},
};

// Corner k (top-right, bottom-right, bottom-left, top-left, clockwise) maps (a, b) radii to
// face coordinates.
Point cornerPoint(const Rect& r, double q, int corner, double a, double b) {
  switch (corner) {
    case 0:
      return {r.maxX() - a * q, r.y + b * q};
    case 1:
      return {r.maxX() - b * q, r.maxY() - a * q};
    case 2:
      return {r.x + a * q, r.maxY() - b * q};
    default:
      return {r.x + b * q, r.y + a * q};
  }
}

void cornerCurve(cairo_t* cr, const Rect& r, double q, int corner) {
  for (int c = 0; c < 9; c += 3) {
    const Point p1 = cornerPoint(r, q, corner, kCurve[c][0], kCurve[c][1]);
    const Point p2 = cornerPoint(r, q, corner, kCurve[c + 1][0], kCurve[c + 1][1]);
    const Point p3 = cornerPoint(r, q, corner, kCurve[c + 2][0], kCurve[c + 2][1]);
    cairo_curve_to(cr, p1.x, p1.y, p2.x, p2.y, p3.x, p3.y);
  }
}

double continuousRadius(const Rect& r, double radius) {
  return std::min(radius, std::min(r.width, r.height) / 2 / kExtent);
}

}  // namespace

void shapePath(cairo_t* cr, const ShapeGeometry& shape, const Rect& r) {
  if (shape.kind == ShapeGeometry::Kind::circle) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.x + r.width / 2, r.y + r.height / 2, std::min(r.width, r.height) / 2, 0.0,
              2 * kPi);
    cairo_close_path(cr);
    return;
  }
  roundedRectanglePath(cr, r, shape.cornerRadius, shape.style);
}

void roundedRectanglePath(cairo_t* cr, const Rect& r, double radius, RoundedCornerStyle style) {
  if (!(radius > 0.0) || r.width <= 0.0 || r.height <= 0.0) {
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    return;
  }
  if (style != RoundedCornerStyle::continuous) {
    const double q = std::min(radius, std::min(r.width, r.height) / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - q, r.y + q, q, -kPi / 2, 0.0);
    cairo_arc(cr, r.maxX() - q, r.maxY() - q, q, 0.0, kPi / 2);
    cairo_arc(cr, r.x + q, r.maxY() - q, q, kPi / 2, kPi);
    cairo_arc(cr, r.x + q, r.y + q, q, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    return;
  }
  const double q = continuousRadius(r, radius);
  cairo_new_sub_path(cr);
  const Point start = cornerPoint(r, q, 3, 0.0, kExtent);
  cairo_move_to(cr, start.x, start.y);
  for (int corner = 0; corner < 4; ++corner) {
    const Point edge = cornerPoint(r, q, corner, kExtent, 0.0);
    cairo_line_to(cr, edge.x, edge.y);
    cornerCurve(cr, r, q, corner);
  }
  cairo_close_path(cr);
}

namespace {

// The square of a rectangle's corner (0 top right, then clockwise) that its continuous
// rounding bends within.
Rect cornerBounds(const Rect& r, double radius, int corner) {
  const double extent = continuousRadius(r, radius) * kExtent;
  const double x = corner == 0 || corner == 1 ? r.maxX() - extent : r.x;
  const double y = corner == 1 || corner == 2 ? r.maxY() - extent : r.y;
  return Rect{x, y, extent, extent};
}

// The piece of that square outside the rounding.
void outsideCornerPath(cairo_t* cr, const Rect& r, double radius, int corner) {
  const double q = continuousRadius(r, radius);
  const Point vertices[4] = {{r.maxX(), r.y}, {r.maxX(), r.maxY()}, {r.x, r.maxY()}, {r.x, r.y}};
  const Point start = cornerPoint(r, q, corner, kExtent, 0.0);
  cairo_move_to(cr, start.x, start.y);
  cornerCurve(cr, r, q, corner);
  cairo_line_to(cr, vertices[corner].x, vertices[corner].y);
  cairo_close_path(cr);
}

}  // namespace

namespace {

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
    // The kept display has its corners already cut; then only what the tree draws over them
    // needs cutting again.
    keptDisplay =
        masks && masks->paintDisplay(cr, display, face.displayCornerRadius,
                                     cornerBounds(display, face.displayCornerRadius, 0).width);
    if (!keptDisplay) {
      cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
      cairo_paint(cr);
    }
  }
  Painter painter(cr, options, masks, damage, ops, display);
  painter.paint(layout.placedRoot(), display);
  if (const LayoutNode* time = layout.time()) painter.paint(*time, display);
  PaintOp ring;
  if (options.haptic) {
    ring.identity = "haptic";
    ring.kind = PaintOp::Kind::haptic;
    ring.rect = display;
    ring.color = hapticRingLook(*options.haptic).color;
    ring.clip = display;
    ring.bounds = display;
  }
  const bool drawRing = options.haptic && painter.note(ring);
  if (cr == nullptr) return;
  // The display's rounded corners are cut out last, each only as far as something was drawn
  // over it: clipping every drawing to a curved outline would cost a mask on each of them.
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  for (int corner = 0; corner < 4; ++corner) {
    cairo_save(cr);
    if (keptDisplay) {
      const Rect box = cornerBounds(display, face.displayCornerRadius, corner);
      bool drawnOver = false;
      cairo_new_path(cr);
      for (const Rect& drawn : painter.painted()) {
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
    outsideCornerPath(cr, display, face.displayCornerRadius, corner);
    cairo_fill(cr);
    cairo_restore(cr);
  }
  if (drawRing) {
    // Along the display's rounded edge, inside it.
    const HapticRingLook look = hapticRingLook(*options.haptic);
    const double inset = look.width / 2;
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_new_path(cr);
    roundedRectanglePath(
        cr, Rect{inset, inset, face.size.width - look.width, face.size.height - look.width},
        std::max(face.displayCornerRadius - inset, 0.0), RoundedCornerStyle::continuous);
    setColor(cr, look.color);
    cairo_set_line_width(cr, look.width);
    cairo_stroke(cr);
  }
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

std::optional<std::vector<Rect>> damageBetween(const std::vector<PaintOp>& before,
                                               const std::vector<PaintOp>& after) {
  std::vector<Rect> damage;
  auto add = [&damage](const Rect& r) {
    if (r.width > 0.0 && r.height > 0.0) damage.push_back(r);
  };
  // Mostly the same boxes draw in the same order (a tick of the clock, a press): the drawings
  // are compared place by place, with nothing to look up.
  const auto samePlace = [](const PaintOp& a, const PaintOp& b) {
    return a.box == b.box && a.identity == b.identity;
  };
  if (std::equal(before.begin(), before.end(), after.begin(), after.end(), samePlace)) {
    for (std::size_t i = 0; i < after.size(); ++i) {
      if (!(before[i] == after[i])) {
        add(before[i].bounds);
        add(after[i].bounds);
      }
    }
    return damage;
  }
  // A drawing's place: its element, its box and how many drawings that box made before it.
  auto places = [](const std::vector<PaintOp>& ops) {
    std::map<std::pair<std::string, int>, int> seen;
    std::vector<std::tuple<std::string, int, int>> keys;
    keys.reserve(ops.size());
    for (const PaintOp& op : ops) {
      keys.emplace_back(op.identity, op.box, seen[{op.identity, op.box}]++);
    }
    return keys;
  };
  const auto beforeKeys = places(before);
  const auto afterKeys = places(after);
  std::map<std::tuple<std::string, int, int>, std::size_t> beforeAt;
  for (std::size_t i = 0; i < beforeKeys.size(); ++i) beforeAt.emplace(beforeKeys[i], i);

  std::vector<bool> matched(before.size(), false);
  std::size_t lastMatched = 0;
  bool anyMatched = false;
  for (std::size_t i = 0; i < after.size(); ++i) {
    const auto found = beforeAt.find(afterKeys[i]);
    if (found == beforeAt.end()) {
      add(after[i].bounds);
      continue;
    }
    // Drawings that stay must stay in the same order: what covers what would change.
    if (anyMatched && found->second < lastMatched) return std::nullopt;
    anyMatched = true;
    lastMatched = found->second;
    matched[found->second] = true;
    if (!(before[found->second] == after[i])) {
      add(before[found->second].bounds);
      add(after[i].bounds);
    }
  }
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (!matched[i]) add(before[i].bounds);
  }
  return damage;
}

}  // namespace dunvel
