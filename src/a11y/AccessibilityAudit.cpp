#include "a11y/AccessibilityAudit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "render/FacePainter.h"

namespace dunvel {
namespace {

// WCAG 2.x, success criterion 1.4.3 (Contrast, minimum): text at least 4.5:1 against its
// background. The criterion lets large text (18 points, or 14 bold) go down to 3:1; every text
// here is held to 4.5:1, since a watch is read at a glance and at arm's length.
constexpr double kMinimumContrast = 4.5;
// The watch's human interface guidelines (Accessibility, user interaction): give every control a
// hit target of at least 44 by 44 points.
constexpr double kMinimumHitSide = 44.0;

struct Colour {
  double red = 0, green = 0, blue = 0;
};

Colour over(const Rgba& top, const Colour& below) {
  const double a = std::clamp(top.alpha, 0.0, 1.0);
  return {top.red * a + below.red * (1 - a), top.green * a + below.green * (1 - a),
          top.blue * a + below.blue * (1 - a)};
}

// WCAG 2.x relative luminance of an sRGB colour.
double luminance(const Colour& c) {
  const auto linear = [](double v) {
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

double contrast(const Colour& a, const Colour& b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::string hex(const Colour& c) {
  const auto byte = [](double v) {
    return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
  };
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", byte(c.red), byte(c.green), byte(c.blue));
  return text;
}

std::string ratio(double value) {
  char text[16];
  std::snprintf(text, sizeof text, "%.2f:1", value);
  return text;
}

std::string points(double value) {
  char text[16];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

Point middle(const Rect& r) {
  return {r.x + r.width / 2, r.y + r.height / 2};
}

// A colour says something of its own when it is not a shade of gray: gold, green, red.
bool signalColour(const Rgba& c) {
  const double high = std::max({c.red, c.green, c.blue});
  const double low = std::min({c.red, c.green, c.blue});
  return c.alpha > 0.0 && high - low > 0.15;
}

class Auditor {
 public:
  Auditor(const std::vector<AccessibilityElement>& elements, const FaceLayout& layout)
      : elements_(elements), layout_(layout), ops_(paintOps(layout)) {}

  std::vector<AuditFinding> run() && {
    for (std::size_t i = 0; i < elements_.size(); ++i) {
      const AccessibilityElement& element = elements_[i];
      if (element.element == nullptr) continue;
      if (element.role == AccessibilityRole::button) hitArea(i, element);
      truncated(i, *element.element);
    }
    contrastOfTexts();
    colourOnly();
    std::stable_sort(
        findings_.begin(), findings_.end(),
        [](const AuditFinding& a, const AuditFinding& b) { return a.element < b.element; });
    return std::move(findings_);
  }

 private:
  void add(std::size_t index, const char* rule, std::string message) {
    findings_.push_back({rule, index + 1, std::move(message)});
  }

  void hitArea(std::size_t index, const AccessibilityElement& button) {
    const Rect& f = button.frame;
    if (f.width >= kMinimumHitSide && f.height >= kMinimumHitSide) return;
    add(index, "hit-area",
        "the button takes " + points(f.width) + " by " + points(f.height) +
            " points, less than the 44 by 44 points the watch's human interface guidelines ask "
            "of every control (Accessibility, user interaction)");
  }

  // A text cut at this case and text size, in the element or, for a button, in its label.
  void truncated(std::size_t index, const Element& element) {
    const Element* cut = nullptr;
    const auto visit = [&](const auto& self, const Element& e) -> void {
      if (cut != nullptr) return;
      if ((e.kind == ElementKind::text || e.kind == ElementKind::label) && e.text &&
          (layout_.isTruncated(e) || layout_.linesOf(e).value_or(1) == 0)) {
        cut = &e;
        return;
      }
      for (const Element& child : e.children) self(self, child);
    };
    visit(visit, element);
    if (cut == nullptr) return;
    const std::string what =
        cut == &element ? std::string("it") : "its text \"" + cut->text->shown() + "\"";
    add(index, "truncated",
        what +
            " does not show whole at this case and text size (cut with \xE2\x80\xA6 or given "
            "way to other texts): what a larger text size hides from one who needs it "
            "(WCAG 2.x, 1.4.4 Resize text)");
  }

  // The accessibility element a drawing belongs to: the smallest whose frame holds its middle.
  std::optional<std::size_t> elementAt(Point p) const {
    std::optional<std::size_t> best;
    double bestArea = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < elements_.size(); ++i) {
      const Rect& f = elements_[i].frame;
      if (!f.contains(p)) continue;
      const double area = f.width * f.height;
      if (area < bestArea) {
        best = i;
        bestArea = area;
      }
    }
    return best;
  }

  // What is painted under a point before drawing `before`: the face's black, then every fill
  // over it, in the order they are drawn.
  Colour behind(Point p, std::size_t before) const {
    Colour colour;
    for (std::size_t j = 0; j < before; ++j) {
      const PaintOp& op = ops_[j];
      if (op.kind != PaintOp::Kind::fill || !op.rect.contains(p) || !op.clip.contains(p)) continue;
      if (op.clipShape && !op.clipShapeFrame.contains(p)) continue;
      colour = over(op.color, colour);
    }
    return colour;
  }

  void contrastOfTexts() {
    std::vector<std::size_t> judged;
    for (std::size_t i = 0; i < ops_.size(); ++i) {
      const PaintOp& op = ops_[i];
      if (op.kind != PaintOp::Kind::text || op.box != static_cast<int>(LayoutNode::Kind::text)) {
        continue;
      }
      const Point p = middle(op.rect);
      const std::optional<std::size_t> index = elementAt(p);
      if (!index || std::find(judged.begin(), judged.end(), *index) != judged.end()) continue;
      const Colour back = behind(p, i);
      const Colour front = over(op.color, back);
      const double value = contrast(front, back);
      if (value >= kMinimumContrast) continue;
      judged.push_back(*index);
      add(*index, "contrast",
          "a text is painted " + hex(front) + " on " + hex(back) + ", a contrast of " +
              ratio(value) + ", below the 4.5:1 of WCAG 2.x (1.4.3 Contrast, minimum)");
    }
  }

  // Judged on every shape of the layout, in sight or scrolled out of it, as texts are judged
  // for truncation: what the audit finds must not depend on where a list stands. A shape
  // standing as content is a shape box; a card or a button's capsule is a background or a
  // button, with its texts inside. Only a shape on the line of an element audited can be
  // flagged: boxes wholly above or below them all are neither placed nor looked into.
  void colourOnly() {
    double top = std::numeric_limits<double>::infinity();
    double bottom = -std::numeric_limits<double>::infinity();
    for (const AccessibilityElement& element : elements_) {
      if (element.element == nullptr) continue;
      top = std::min(top, element.frame.y);
      bottom = std::max(bottom, element.frame.maxY());
    }
    const auto visit = [&](const auto& self, const LayoutNode& n) -> void {
      if (!n.holdsScrollView && (n.frame.maxY() < top || n.frame.y > bottom)) return;
      layout_.placeInside(n);
      if (n.kind == LayoutNode::Kind::shape) judgeShape(n);
      for (const LayoutNode* child : n.children) self(self, *child);
    };
    if (top <= bottom) visit(visit, layout_.placedRoot());
  }

  void judgeShape(const LayoutNode& shape) {
    const Rgba colour = foregroundOf(shape);
    if (!signalColour(colour)) return;
    const std::optional<std::size_t> index = besideOnItsLine(shape.frame);
    if (!index) return;
    add(*index, "colour-only",
        "beside it a shape painted " + hex(over(colour, Colour{})) +
            " says something by its colour alone, and a screen reader reads nothing of it "
            "(WCAG 2.x, 1.4.1 Use of color): give what it marks a text or a trait");
  }

  // The element on the same line as a shape, nearest to it.
  std::optional<std::size_t> besideOnItsLine(const Rect& shape) const {
    const double y = middle(shape).y;
    std::optional<std::size_t> best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < elements_.size(); ++i) {
      const Rect& f = elements_[i].frame;
      if (elements_[i].element == nullptr || y < f.y || y > f.maxY()) continue;
      const double distance = std::min(std::abs(f.x - shape.maxX()), std::abs(f.maxX() - shape.x));
      if (distance < bestDistance) {
        best = i;
        bestDistance = distance;
      }
    }
    return best;
  }

  const std::vector<AccessibilityElement>& elements_;
  const FaceLayout& layout_;
  const std::vector<PaintOp> ops_;
  std::vector<AuditFinding> findings_;
};

}  // namespace

std::vector<AuditFinding> auditAccessibility(const std::vector<AccessibilityElement>& elements,
                                             const FaceLayout& layout) {
  return Auditor(elements, layout).run();
}

}  // namespace dunvel
