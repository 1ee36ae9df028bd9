#include "render/FacePainter.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "render/DesignSystem.h"

namespace dunvel {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Glyphs may overhang their logical box a little; keep them when culling.
constexpr double kOverhang = 4.0;

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

void shapePath(cairo_t* cr, const ShapeGeometry& shape, const Rect& r) {
  if (shape.kind == ShapeGeometry::Kind::circle) {
    const double radius = std::min(r.width, r.height) / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.x + r.width / 2, r.y + r.height / 2, radius, 0.0, 2 * kPi);
    cairo_close_path(cr);
    return;
  }
  roundedRectanglePath(cr, r, shape.cornerRadius, shape.style == RoundedCornerStyle::continuous);
}

Rgba foreground(const LayoutNode& n, bool symbol) {
  const LayoutEnvironment& env = n.environment;
  if (env.foregroundColor) return resolveColor(*env.foregroundColor);
  // In a button, the icon takes the button's tint and the title stays primary.
  if (symbol && env.inButton && env.tint) return resolveColor(*env.tint);
  return resolveColor(Color::primary());
}

class Painter {
 public:
  Painter(cairo_t* cr, const PaintOptions& options) : cr_(cr), options_(options) {}

  void paint(const LayoutNode& n, const Rect& clip) {
    if (!visible(n.frame, clip)) return;
    switch (n.kind) {
      case LayoutNode::Kind::text:
      case LayoutNode::Kind::symbol:
        if (n.shaped) {
          setColor(cr_, foreground(n, n.kind == LayoutNode::Kind::symbol));
          cairo_move_to(cr_, n.frame.x - n.shaped->origin.x, n.frame.y - n.shaped->origin.y);
          pango_cairo_show_layout(cr_, n.shaped->layout);
        }
        return;
      case LayoutNode::Kind::shape:
        setColor(cr_, foreground(n, false));
        cairo_new_path(cr_);
        shapePath(cr_, n.element->shape, n.frame);
        cairo_fill(cr_);
        return;
      case LayoutNode::Kind::background:
        setColor(cr_, resolveColor(*n.modifier->color));
        cairo_rectangle(cr_, n.frame.x, n.frame.y, n.frame.width, n.frame.height);
        cairo_fill(cr_);
        break;
      case LayoutNode::Kind::clip: {
        cairo_save(cr_);
        cairo_new_path(cr_);
        shapePath(cr_, *n.modifier->shape, n.frame);
        cairo_clip(cr_);
        for (const LayoutNode* child : n.children) paint(*child, clip.intersection(n.frame));
        cairo_restore(cr_);
        return;
      }
      case LayoutNode::Kind::scrollView:
        paintScrollView(n, clip);
        return;
      case LayoutNode::Kind::button:
        paintButton(n, clip);
        return;
      default:
        break;
    }
    for (const LayoutNode* child : n.children) paint(*child, clip);
  }

 private:
  void paintScrollView(const LayoutNode& n, const Rect& clip) {
    const Rect inside = clip.intersection(n.frame);
    cairo_save(cr_);
    cairo_rectangle(cr_, inside.x, inside.y, inside.width, inside.height);
    cairo_clip(cr_);
    for (const LayoutNode* child : n.children) paint(*child, inside);
    cairo_restore(cr_);

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
    cairo_new_path(cr_);
    roundedRectanglePath(cr_, Rect{x, y, design::scrollIndicatorWidth, length},
                         design::scrollIndicatorWidth / 2, false);
    cairo_set_source_rgba(cr_, 1.0, 1.0, 1.0, 0.55);
    cairo_fill(cr_);
  }

  void paintButton(const LayoutNode& n, const Rect& clip) {
    const bool pressed =
        !options_.pressedButton.empty() && n.element->identity == options_.pressedButton;
    Rgba fill = resolveColor(n.environment.tint.value_or(Color::gray()));
    fill.alpha *= pressed ? design::buttonPressedFillOpacity : design::buttonFillOpacity;
    setColor(cr_, fill);
    cairo_new_path(cr_);
    roundedRectanglePath(cr_, n.frame, design::buttonCornerRadius, true);
    cairo_fill(cr_);
    if (!pressed) {
      for (const LayoutNode* child : n.children) paint(*child, clip);
      return;
    }
    // Held down: the label dims, as the watch's buttons do under a finger.
    cairo_push_group(cr_);
    for (const LayoutNode* child : n.children) paint(*child, clip);
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, 0.7);
  }

  cairo_t* cr_;
  const PaintOptions& options_;
};

}  // namespace

void roundedRectanglePath(cairo_t* cr, const Rect& r, double radius, bool continuous) {
  if (!(radius > 0.0) || r.width <= 0.0 || r.height <= 0.0) {
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    return;
  }
  const double half = std::min(r.width, r.height) / 2;
  if (!continuous) {
    const double q = std::min(radius, half);
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - q, r.y + q, q, -kPi / 2, 0.0);
    cairo_arc(cr, r.maxX() - q, r.maxY() - q, q, 0.0, kPi / 2);
    cairo_arc(cr, r.x + q, r.maxY() - q, q, kPi / 2, kPi);
    cairo_arc(cr, r.x + q, r.y + q, q, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    return;
  }
  // Each corner is three cubic curves that leave the straight edge 1.53 radii before the
  // corner with no jump in curvature, the usual construction of a smooth ("continuous") corner.
  constexpr double kExtent = 1.52866483;
  const double q = std::min(radius, half / kExtent);
  // (along, across) in radii, from where the corner leaves one edge to where it meets the next.
  static constexpr double kCurve[9][2] = {
      {1.08849323, 0.0},        {0.86840689, 0.0},        {0.66993427, 0.06549600},
      {0.37282392, 0.19354179}, {0.19354179, 0.37282392}, {0.06549600, 0.66993427},
      {0.0, 0.86840701},        {0.0, 1.08849299},        {0.0, kExtent},
  };
  // Corner k maps (a, b) to face coordinates: top-right, bottom-right, bottom-left, top-left.
  auto point = [&r, q](int corner, double a, double b, double& x, double& y) {
    switch (corner) {
      case 0:
        x = r.maxX() - a * q, y = r.y + b * q;
        return;
      case 1:
        x = r.maxX() - b * q, y = r.maxY() - a * q;
        return;
      case 2:
        x = r.x + a * q, y = r.maxY() - b * q;
        return;
      default:
        x = r.x + b * q, y = r.y + a * q;
        return;
    }
  };
  cairo_new_sub_path(cr);
  double x = 0.0;
  double y = 0.0;
  point(3, 0.0, kExtent, x, y);
  cairo_move_to(cr, x, y);
  for (int corner = 0; corner < 4; ++corner) {
    point(corner, kExtent, 0.0, x, y);
    cairo_line_to(cr, x, y);
    for (int c = 0; c < 9; c += 3) {
      double x1, y1, x2, y2, x3, y3;
      point(corner, kCurve[c][0], kCurve[c][1], x1, y1);
      point(corner, kCurve[c + 1][0], kCurve[c + 1][1], x2, y2);
      point(corner, kCurve[c + 2][0], kCurve[c + 2][1], x3, y3);
      cairo_curve_to(cr, x1, y1, x2, y2, x3, y3);
    }
  }
  cairo_close_path(cr);
}

void paintFace(cairo_t* cr, const FaceLayout& layout, const PaintOptions& options) {
  const FaceMetrics& face = layout.face();
  const Rect display{0.0, 0.0, face.size.width, face.size.height};
  cairo_save(cr);
  cairo_new_path(cr);
  roundedRectanglePath(cr, display, face.displayCornerRadius, true);
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  cairo_fill_preserve(cr);
  cairo_clip(cr);
  Painter(cr, options).paint(layout.root(), display);
  cairo_restore(cr);
}

}  // namespace dunvel
