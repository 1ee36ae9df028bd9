// LayoutBuilder, continued: how a stack sizes and places its children along its axis: the children
// that are not spacers are offered equal shares of what is left, the least flexible first, and the
// spacers share what remains (see stackSizes).
#include <algorithm>
#include <cmath>

#include "render/LayoutArithmetic.h"
#include "render/LayoutBuilder.h"
#include "render/Side.h"

namespace dunvel {
namespace {

// Where a box of width stands against a side of rect.
double atSide(Side side, const Rect& rect, double width) {
  return side == Side::left ? rect.x : rect.maxX() - width;
}

}  // namespace

Size LayoutBuilder::stackSizes(LayoutNode& n, double w, double h, Size* sizes) {
  const Size proposed{w, h};
  const double along = layout::primary(proposed, n.axis);
  const double across = layout::secondary(proposed, n.axis);
  const std::size_t count = n.children.size();
  layout::Scratch<Slot> slots(count);
  Slot* const firstSpacer = slots.data() + spacersLast(n, slots.data());
  Slot* const end = slots.data() + count;
  if (!std::isfinite(along)) {
    sizeAtLength(n, slots.data(), firstSpacer, layout::kUnbounded, across, sizes);
    stretchSpacers(n, firstSpacer, end, 0.0, sizes);
  } else {
    const double length = along - totalSpacing(n) - spacersMinimum(n);
    double remaining = length;
    if (naturalWidthsFit(n, slots.data(), firstSpacer, length, across, sizes)) {
      for (Slot* s = slots.data(); s != firstSpacer; ++s) remaining -= sizes[s->index].width;
    } else {
      sortByFlexibility(n, slots.data(), firstSpacer, across);
      remaining = shareOut(n, slots.data(), firstSpacer, length, across, sizes);
    }
    const auto spacers = static_cast<std::size_t>(end - firstSpacer);
    const double share =
        spacers == 0 ? 0.0 : layout::nonNegative(remaining) / static_cast<double>(spacers);
    stretchSpacers(n, firstSpacer, end, share, sizes);
  }
  return stackSize(n, sizes);
}

double LayoutBuilder::totalSpacing(const LayoutNode& n) {
  const std::size_t count = n.children.size();
  return count > 1 ? n.spacing * static_cast<double>(count - 1) : 0.0;
}

double LayoutBuilder::spacersMinimum(const LayoutNode& n) {
  double minimum = 0.0;
  for (const LayoutNode* child : n.children) {
    if (child->kind == LayoutNode::Kind::spacer) minimum += child->minLength;
  }
  return minimum;
}

std::size_t LayoutBuilder::spacersLast(const LayoutNode& n, Slot* slots) {
  const std::size_t count = n.children.size();
  std::size_t others = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (n.children[i]->kind != LayoutNode::Kind::spacer) slots[others++] = {i, 0.0};
  }
  std::size_t spacers = others;
  for (std::size_t i = 0; i < count; ++i) {
    if (n.children[i]->kind == LayoutNode::Kind::spacer) slots[spacers++] = {i, 0.0};
  }
  return others;
}

void LayoutBuilder::sizeAtLength(LayoutNode& n, Slot* first, Slot* last, double length,
                                 double across, Size* sizes) {
  const Size p = layout::sizeAlong(n.axis, length, across);
  for (Slot* s = first; s != last; ++s) {
    sizes[s->index] = measure(*n.children[s->index], p.width, p.height);
  }
}

bool LayoutBuilder::keepsNaturalWidth(LayoutNode& n, double height) {
  using Kind = LayoutNode::Kind;
  switch (n.kind) {
    case Kind::symbol:
      return true;
    case Kind::text: {
      // Offered a width its one line fits in, the engine gives the natural layout back; offered
      // less than one line, a text shows none at any width.
      const TextRequest request = textRequest(n, layout::kUnbounded, height);
      return request.maxLines == 0 || engine_.shape(request).lines <= 1;
    }
    case Kind::padding: {
      const layout::Insets in = layout::paddingInsets(*n.modifier, n.environment->direction);
      return keepsNaturalWidth(*n.children[0], layout::nonNegative(height - in.top - in.bottom));
    }
    case Kind::fixedFrame: {
      const FixedFrame& f = *n.modifier->fixedFrame;
      if (layout::usable(f.width)) return true;
      return keepsNaturalWidth(*n.children[0], layout::usable(f.height).value_or(height));
    }
    case Kind::background:
    case Kind::clip:
      return keepsNaturalWidth(*n.children[0], height);
    default:
      return false;
  }
}

bool LayoutBuilder::naturalWidthsFit(LayoutNode& n, Slot* first, Slot* last, double length,
                                     double height, Size* sizes) {
  if (n.axis != Axis::horizontal || last - first < 2) return false;
  double widest = 0.0;
  for (Slot* s = first; s != last; ++s) {
    LayoutNode& child = *n.children[s->index];
    if (!keepsNaturalWidth(child, height)) return false;
    sizes[s->index] = measure(child, layout::kUnbounded, height);
    widest = std::max(widest, sizes[s->index].width);
  }
  // With room to spare: a share is computed by division, and must not come out a hair short.
  return widest * static_cast<double>(last - first) + 1e-6 <= length;
}

void LayoutBuilder::sortByFlexibility(LayoutNode& n, Slot* first, Slot* last, double across) {
  // One child has no other to be ordered against.
  if (last - first < 2) return;
  const Size small = layout::sizeAlong(n.axis, 0.0, across);
  const Size large = layout::sizeAlong(n.axis, layout::kUnbounded, across);
  for (Slot* s = first; s != last; ++s) {
    LayoutNode& child = *n.children[s->index];
    s->flexibility = layout::primary(measure(child, large.width, large.height), n.axis) -
                     layout::primary(measure(child, small.width, small.height), n.axis);
  }
  const auto lessFlexible = [](const Slot& a, const Slot& b) {
    return a.flexibility < b.flexibility;
  };
  // Rows of a list are alike, so mostly already in order: then sorting (and its buffer as
  // long as the list) is skipped.
  if (!std::is_sorted(first, last, lessFlexible)) std::stable_sort(first, last, lessFlexible);
}

double LayoutBuilder::shareOut(LayoutNode& n, Slot* first, Slot* last, double remaining,
                               double across, Size* sizes) {
  std::size_t left = static_cast<std::size_t>(last - first);
  for (Slot* s = first; s != last; ++s) {
    const Size p = layout::sizeAlong(
        n.axis, layout::nonNegative(remaining / static_cast<double>(left)), across);
    sizes[s->index] = measure(*n.children[s->index], p.width, p.height);
    remaining -= layout::primary(sizes[s->index], n.axis);
    --left;
  }
  return remaining;
}

void LayoutBuilder::stretchSpacers(const LayoutNode& n, Slot* first, Slot* last, double share,
                                   Size* sizes) {
  for (Slot* s = first; s != last; ++s) {
    sizes[s->index] = layout::sizeAlong(n.axis, n.children[s->index]->minLength + share, 0.0);
  }
}

Size LayoutBuilder::stackSize(const LayoutNode& n, const Size* sizes) {
  double sum = totalSpacing(n);
  double cross = 0.0;
  for (std::size_t i = 0; i < n.children.size(); ++i) {
    sum += layout::primary(sizes[i], n.axis);
    cross = std::max(cross, layout::secondary(sizes[i], n.axis));
  }
  return layout::sizeAlong(n.axis, sum, cross);
}

const Size* LayoutBuilder::placedSizes(LayoutNode& n, double width, double height,
                                       layout::Scratch<Size>& scratch) {
  if (n.children.size() < kKeptFrom) {
    stackSizes(n, width, height, scratch.data());
    return scratch.data();
  }
  LayoutTree::KeptSizes& kept = tree_.keptSizes[&n];
  if (kept.sizes.size() != n.children.size() || kept.width != width || kept.height != height) {
    kept.sizes.resize(n.children.size());
    stackSizes(n, width, height, kept.sizes.data());
    kept.width = width;
    kept.height = height;
  }
  return kept.sizes.data();
}

void LayoutBuilder::placeStack(LayoutNode& n, Rect rect, Rect clip) {
  layout::Scratch<Size> scratch(n.children.size() < kKeptFrom ? n.children.size() : 0);
  const Size* sizes = placedSizes(n, rect.width, rect.height, scratch);
  const LayoutDirection direction = n.environment->direction;
  if (n.axis == Axis::vertical) {
    double y = rect.y;
    for (std::size_t i = 0; i < n.children.size(); ++i) {
      const Size s = sizes[i];
      double x = rect.x + (rect.width - s.width) / 2;
      HorizontalAlignment a = n.element->kind == ElementKind::vstack
                                  ? n.element->horizontalAlignment
                                  : HorizontalAlignment::center;
      if (a == HorizontalAlignment::leading) x = atSide(leadingSide(direction), rect, s.width);
      if (a == HorizontalAlignment::trailing) x = atSide(trailingSide(direction), rect, s.width);
      placeBox(*n.children[i], Rect{x, y, s.width, s.height}, clip);
      y += s.height + n.spacing;
    }
    return;
  }
  // The first child stands at the leading edge: the right one in right-to-left layout.
  const bool rtl = leadingSide(direction) == Side::right;
  double x = rtl ? rect.maxX() : rect.x;
  for (std::size_t i = 0; i < n.children.size(); ++i) {
    const Size s = sizes[i];
    double y = rect.y + (rect.height - s.height) / 2;
    const VerticalAlignment a = n.element->kind == ElementKind::hstack
                                    ? n.element->verticalAlignment
                                    : VerticalAlignment::center;
    if (a == VerticalAlignment::top) y = rect.y;
    if (a == VerticalAlignment::bottom) y = rect.maxY() - s.height;
    const double left = rtl ? x - s.width : x;
    placeBox(*n.children[i], Rect{left, y, s.width, s.height}, clip);
    x = rtl ? x - s.width - n.spacing : x + s.width + n.spacing;
  }
}

}  // namespace dunvel
