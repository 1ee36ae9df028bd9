// LayoutBuilder, the measure and place passes (see LayoutBuilder.h), but for how stacks share
// out their length (LayoutBuilderStacks.cpp).
#include <algorithm>
#include <cmath>
#include <utility>

#include "render/Culling.h"
#include "render/DesignSystem.h"
#include "render/LayoutArithmetic.h"
#include "render/LayoutBuilder.h"

namespace dunvel {

Size LayoutBuilder::measure(LayoutNode& n, double w, double h) {
  for (std::size_t i = 0; i < n.measuredCount; ++i) {
    const LayoutNode::Measured& m = n.measured[i];
    if (m.width == w && m.height == h) return m.size;
  }
  const Size size = compute(n, w, h);
  if (n.measuredCount < LayoutNode::kMeasuredKept) {
    n.measured[n.measuredCount++] = {w, h, size};
  } else {
    n.measuredMore = true;
  }
  return size;
}

const ShapedText* LayoutBuilder::shapedText(const LayoutNode& n, const Rect& frame) {
  if (n.kind == LayoutNode::Kind::symbol) return &engine_.shape(symbolRequest(n));
  const TextRequest request = textRequest(n, frame.width, frame.height);
  return request.maxLines == 0 ? nullptr : &engine_.shape(request);
}

void LayoutBuilder::place(LayoutNode& n, Rect rect, Rect clip, const ScrollOffsets& offsets) {
  ++tree_.placing;
  offsets_ = &offsets;
  placeBox(n, rect, clip);
  offsets_ = nullptr;
}

void LayoutBuilder::placeDeferred() {
  // Nothing inside a box left out of sight is a scroll view: no offsets are needed.
  static const ScrollOffsets kNoOffsets;
  offsets_ = &kNoOffsets;
  outOfSight_ = OutOfSight::placed;
  for (const auto& [node, clip] : tree_.deferred) {
    if (node != nullptr) placeBox(*node, node->frame, clip);
  }
  tree_.deferred.clear();
  outOfSight_ = OutOfSight::deferred;
  offsets_ = nullptr;
}

void LayoutBuilder::placeInside(const LayoutNode& n) {
  if (n.deferredAt >= tree_.deferred.size() || tree_.deferred[n.deferredAt].first != &n) return;
  auto& [node, clip] = tree_.deferred[n.deferredAt];
  LayoutNode& box = *node;
  node = nullptr;
  static const ScrollOffsets kNoOffsets;
  offsets_ = &kNoOffsets;
  outOfSight_ = OutOfSight::placed;
  placeBox(box, box.frame, clip);
  outOfSight_ = OutOfSight::deferred;
  offsets_ = nullptr;
}

void LayoutBuilder::placeBox(LayoutNode& n, Rect rect, Rect clip) {
  n.frame = rect;
  n.placedIn = tree_.placing;
  n.deferredAt = LayoutNode::kInsidePlaced;
  // A box out of sight is not painted, and nothing inside it can be tapped or scrolled: what
  // is inside is placed only when asked about. A wheel step over a long list then places the
  // rows in sight, not every row.
  if (outOfSight_ == OutOfSight::deferred && !n.alwaysPlaced && !n.children.empty() &&
      !mayShow(rect, clip)) {
    n.deferredAt = static_cast<std::uint32_t>(tree_.deferred.size());
    tree_.deferred.emplace_back(&n, clip);
    return;
  }
  switch (n.kind) {
    case LayoutNode::Kind::text:
    case LayoutNode::Kind::symbol:
      // Only what may be painted is shaped now: a long list's rows out of sight cost nothing
      // until they scroll in or are asked about (FaceLayout::shapedText).
      n.shaped = mayShow(rect, clip) ? shapedText(n, rect) : nullptr;
      break;
    case LayoutNode::Kind::vstack:
    case LayoutNode::Kind::hstack:
      placeStack(n, rect, clip);
      break;
    case LayoutNode::Kind::scrollView:
      placeScrollView(n, rect, clip);
      break;
    case LayoutNode::Kind::button: {
      tree_.buttons.push_back({n.element, rect.intersection(clip)});
      if (n.children.empty()) break;
      const Rect inner{rect.x + design::buttonHorizontalInset, rect.y + design::buttonVerticalInset,
                       layout::nonNegative(rect.width - 2 * design::buttonHorizontalInset),
                       layout::nonNegative(rect.height - 2 * design::buttonVerticalInset)};
      placeCentered(*n.children[0], inner, inner.width, inner.height, clip);
      break;
    }
    case LayoutNode::Kind::padding: {
      const layout::Insets in = layout::paddingInsets(*n.modifier, n.environment->direction);
      placeBox(*n.children[0],
               Rect{rect.x + in.left, rect.y + in.top,
                    layout::nonNegative(rect.width - in.left - in.right),
                    layout::nonNegative(rect.height - in.top - in.bottom)},
               clip);
      break;
    }
    case LayoutNode::Kind::fixedFrame: {
      const FixedFrame& f = *n.modifier->fixedFrame;
      placeCentered(*n.children[0], rect, layout::usable(f.width).value_or(rect.width),
                    layout::usable(f.height).value_or(rect.height), clip);
      break;
    }
    case LayoutNode::Kind::flexibleFrame:
      placeCentered(*n.children[0], rect, flexibleProposal(n, rect.width, rect.height).width,
                    flexibleProposal(n, rect.width, rect.height).height, clip);
      break;
    case LayoutNode::Kind::clip:
      clip = clip.intersection(rect);
      [[fallthrough]];
    case LayoutNode::Kind::background:
    case LayoutNode::Kind::container:
      for (LayoutNode* child : n.children)
        placeCentered(*child, rect, rect.width, rect.height, clip);
      break;
    case LayoutNode::Kind::spacer:
    case LayoutNode::Kind::shape:
      break;
  }
}

TextRequest LayoutBuilder::textRequest(const LayoutNode& n, double width, double height) const {
  const LayoutEnvironment& env = *n.environment;
  const Font font = env.font.value_or(Font::body());
  TextRequest request;
  if (n.element->text) request.text = n.element->text->shown();
  request.style = font.style();
  request.textSize = tree_.face.textSize;
  if (std::isfinite(height)) {
    const double leading = textStyleMetrics(request.style, request.textSize).leading;
    // A hair of slack: a frame made of whole lines must hold them all again.
    const double lines = std::floor((layout::nonNegative(height) + 1e-6) / leading);
    // A text keeps its first line whatever it is offered, as on the watch, unless the face
    // cannot hold them all: then a text that wraps gives way to the one-line texts (names),
    // down to no line at all.
    const bool oneLine = env.lineLimit && *env.lineLimit <= 1;
    const double least = oneLine || tree_.wrappingTexts == WrappingTexts::keepFirstLine ? 1.0 : 0.0;
    request.maxLines = static_cast<int>(std::clamp(lines, least, 1e6));
  }
  request.bold = font.weight() == FontWeight::bold;
  request.monospacedDigit = font.isMonospacedDigit();
  request.maxWidth = width;
  request.lineLimit = env.lineLimit;
  request.alignment = env.textAlignment;
  request.direction = env.direction;
  return request;
}

TextRequest LayoutBuilder::symbolRequest(const LayoutNode& n) const {
  TextRequest request;
  request.text = n.symbolText;
  request.symbol = true;
  request.style = n.environment->font.value_or(Font::body()).style();
  request.textSize = tree_.face.textSize;
  request.direction = n.environment->direction;
  return request;
}

Size LayoutBuilder::flexibleProposal(const LayoutNode& n, double w, double h) const {
  const FlexibleFrame& f = *n.modifier->flexibleFrame;
  auto clamp = [](double value, const std::optional<double>& lo, const std::optional<double>& hi) {
    if (hi && !std::isnan(*hi) && value > *hi) value = *hi;
    if (lo && !std::isnan(*lo) && value < *lo) value = *lo;
    return value;
  };
  return {clamp(w, f.minWidth, f.maxWidth), clamp(h, f.minHeight, f.maxHeight)};
}

double LayoutBuilder::frameLength(double child, double proposed, const std::optional<double>& lo,
                                  const std::optional<double>& hi) {
  // A flexible frame is as large as its content, grown towards its maximum as far as the
  // proposal allows, and never below its minimum.
  double length = child;
  if (hi && !std::isnan(*hi) && std::isfinite(proposed) && proposed > length) {
    length = std::min(proposed, *hi);
  }
  if (hi && !std::isnan(*hi) && length > *hi) length = *hi;
  if (lo && !std::isnan(*lo) && length < *lo) length = *lo;
  return layout::nonNegative(length);
}

Size LayoutBuilder::compute(LayoutNode& n, double w, double h) {
  using Kind = LayoutNode::Kind;
  switch (n.kind) {
    case Kind::text: {
      const TextRequest request = textRequest(n, w, h);
      // Offered less than one line, a text that wraps shows none.
      if (request.maxLines == 0) return {};
      return engine_.shape(request).size;
    }
    case Kind::symbol:
      return engine_.shape(symbolRequest(n)).size;
    case Kind::shape:
      // A shape fills what it is offered; offered nothing definite, its ideal length.
      return {std::isfinite(w) ? layout::nonNegative(w) : design::shapeIdealLength,
              std::isfinite(h) ? layout::nonNegative(h) : design::shapeIdealLength};
    case Kind::spacer:
      return layout::sizeAlong(n.axis, n.minLength, 0.0);
    case Kind::vstack:
    case Kind::hstack: {
      layout::Scratch<Size> sizes(n.children.size());
      return stackSizes(n, w, h, sizes.data());
    }
    case Kind::scrollView: {
      if (n.children.empty()) return {std::isfinite(w) ? w : 0.0, std::isfinite(h) ? h : 0.0};
      const Size content = measure(*n.children[0], w, layout::kUnbounded);
      return {std::isfinite(w) ? w : content.width, std::isfinite(h) ? h : content.height};
    }
    case Kind::button: {
      Size inner;
      if (!n.children.empty()) {
        inner = measure(*n.children[0], layout::nonNegative(w - 2 * design::buttonHorizontalInset),
                        layout::nonNegative(h - 2 * design::buttonVerticalInset));
      }
      // The watch's buttons take the whole width they are offered.
      const double width = std::isfinite(w) ? layout::nonNegative(w)
                                            : inner.width + 2 * design::buttonHorizontalInset;
      return {width,
              std::max(design::buttonMinHeight, inner.height + 2 * design::buttonVerticalInset)};
    }
    case Kind::padding: {
      const layout::Insets in = layout::paddingInsets(*n.modifier, n.environment->direction);
      const Size inner = measure(*n.children[0], layout::nonNegative(w - in.left - in.right),
                                 layout::nonNegative(h - in.top - in.bottom));
      return {inner.width + in.left + in.right, inner.height + in.top + in.bottom};
    }
    case Kind::fixedFrame: {
      const FixedFrame& f = *n.modifier->fixedFrame;
      const std::optional<double> fw = layout::usable(f.width);
      const std::optional<double> fh = layout::usable(f.height);
      if (fw && fh) return {*fw, *fh};
      const Size inner = measure(*n.children[0], fw.value_or(w), fh.value_or(h));
      return {fw.value_or(inner.width), fh.value_or(inner.height)};
    }
    case Kind::flexibleFrame: {
      const FlexibleFrame& f = *n.modifier->flexibleFrame;
      const Size proposal = flexibleProposal(n, w, h);
      const Size inner = measure(*n.children[0], proposal.width, proposal.height);
      return {frameLength(inner.width, w, f.minWidth, f.maxWidth),
              frameLength(inner.height, h, f.minHeight, f.maxHeight)};
    }
    case Kind::background:
    case Kind::clip:
    case Kind::container:
      if (n.children.empty()) return {};
      return measure(*n.children[0], w, h);
  }
  return {};
}

void LayoutBuilder::placeScrollView(LayoutNode& n, Rect rect, Rect clip) {
  ScrollViewLayout scroll;
  scroll.identity = n.element->identity;
  scroll.viewport = rect;
  if (!n.children.empty()) {
    const Size content = measure(*n.children[0], rect.width, layout::kUnbounded);
    scroll.contentWidth = content.width;
    scroll.contentHeight = content.height;
    double offset = 0.0;
    if (auto found = offsets_->find(scroll.identity); found != offsets_->end()) {
      offset = std::isnan(found->second) ? 0.0 : found->second;
    }
    scroll.offset = std::clamp(offset, 0.0, scroll.maxOffset());
    const double width = std::min(content.width, rect.width);
    placeBox(*n.children[0],
             Rect{rect.x + (rect.width - width) / 2, rect.y - scroll.offset, width, content.height},
             clip.intersection(rect));
  }
  n.contentHeight = scroll.contentHeight;
  n.scrollOffset = scroll.offset;
  tree_.scrollViews.push_back(std::move(scroll));
}

void LayoutBuilder::placeCentered(LayoutNode& child, Rect rect, double w, double h, Rect clip) {
  const Size s = measure(child, w, h);
  placeBox(child,
           Rect{rect.x + (rect.width - s.width) / 2, rect.y + (rect.height - s.height) / 2, s.width,
                s.height},
           clip);
}

bool LayoutBuilder::measuresAsBefore(LayoutNode& n) {
  // A box keeps only its first measurements: others may have been asked and not kept.
  if (n.measuredMore) return false;
  for (std::size_t i = 0; i < n.measuredCount; ++i) {
    const LayoutNode::Measured& m = n.measured[i];
    if (compute(n, m.width, m.height) != m.size) return false;
  }
  return true;
}

void LayoutBuilder::letWrappingTextsGiveWay() {
  tree_.wrappingTexts = WrappingTexts::giveWay;
  tree_.keptSizes.clear();
  tree_.nodes.forEach([](LayoutNode& n) {
    n.measuredCount = 0;
    n.measuredMore = false;
  });
}

}  // namespace dunvel
