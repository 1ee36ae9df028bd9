// The builder's three passes (see LayoutBuilder.h), but for how stacks share out their length
// (StackLayout.cpp).
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "render/LayoutBuilder.h"

namespace dunvel {

LayoutNode* LayoutBuilder::build(const Element& e, const LayoutEnvironment* outer) {
  // The boxes made from here on are the element's (those of its children set their own).
  const std::uint32_t outerElement = building_;
  building_ = static_cast<std::uint32_t>(out_.elementCount_++);
  if (out_.looks_) {
    if (out_.looks_->size() < FaceLayout::kLooksKeptUpTo) {
      out_.looks_->push_back({e.look(), e.children.size()});
    } else {
      out_.looks_.reset();
    }
  }
  const LayoutEnvironment* env = outer;
  if (std::any_of(e.modifiers.begin(), e.modifiers.end(), changesEnvironment)) {
    LayoutEnvironment changed = *outer;
    // Modifiers are stored innermost first; an inner one overrides an outer one.
    for (auto it = e.modifiers.rbegin(); it != e.modifiers.rend(); ++it) {
      applyEnvironment(*it, changed);
    }
    env = shared(changed);
  }
  LayoutNode* node = buildCore(e, env);
  for (std::size_t i = 0; i < e.modifiers.size(); ++i) {
    const Modifier& m = e.modifiers[i];
    LayoutNode::Kind kind;
    switch (m.kind) {
      case ModifierKind::padding:
        kind = LayoutNode::Kind::padding;
        break;
      case ModifierKind::frame:
        if (m.fixedFrame) {
          kind = LayoutNode::Kind::fixedFrame;
        } else if (m.flexibleFrame) {
          kind = LayoutNode::Kind::flexibleFrame;
        } else {
          continue;
        }
        break;
      case ModifierKind::background:
        if (!m.color) continue;
        kind = LayoutNode::Kind::background;
        break;
      case ModifierKind::clipShape:
        if (!m.shape) continue;
        kind = LayoutNode::Kind::clip;
        break;
      default:
        continue;
    }
    LayoutNode* wrapper = add(kind, e, env);
    wrapper->modifier = &m;
    wrapper->modifierIndex = static_cast<std::uint32_t>(i);
    wrapper->children.push_back(node);
    node = wrapper;
  }
  out_.outerList_.emplace_back(&e, node);
  building_ = outerElement;
  return node;
}

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

void LayoutBuilder::place(LayoutNode& n, Rect rect, Rect clip) {
  n.frame = rect;
  // A box out of sight is not painted, and nothing inside it can be tapped or scrolled: what
  // is inside is placed only when asked about. A wheel step over a long list then places the
  // rows in sight, not every row.
  if (deferOutOfSight_ && !n.alwaysPlaced && !n.children.empty() &&
      !layout::mayBePainted(rect, clip)) {
    out_.deferred_.emplace_back(&n, clip);
    return;
  }
  switch (n.kind) {
    case LayoutNode::Kind::text:
    case LayoutNode::Kind::symbol:
      // Only what may be painted is shaped now: a long list's rows out of sight cost nothing
      // until they scroll in or are asked about (FaceLayout::shapedText).
      n.shaped = layout::mayBePainted(rect, clip) ? shapedText(n, rect) : nullptr;
      break;
    case LayoutNode::Kind::vstack:
    case LayoutNode::Kind::hstack:
      placeStack(n, rect, clip);
      break;
    case LayoutNode::Kind::scrollView:
      placeScrollView(n, rect, clip);
      break;
    case LayoutNode::Kind::button: {
      out_.buttons_.push_back({n.element, rect.intersection(clip)});
      if (n.children.empty()) break;
      const Rect inner{rect.x + design::buttonHorizontalInset, rect.y + design::buttonVerticalInset,
                       layout::nonNegative(rect.width - 2 * design::buttonHorizontalInset),
                       layout::nonNegative(rect.height - 2 * design::buttonVerticalInset)};
      placeCentered(*n.children[0], inner, inner.width, inner.height, clip);
      break;
    }
    case LayoutNode::Kind::padding: {
      const layout::Insets in = layout::paddingInsets(*n.modifier, n.environment->direction);
      place(*n.children[0],
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

LayoutNode* LayoutBuilder::add(LayoutNode::Kind kind, const Element& e,
                               const LayoutEnvironment* env) {
  LayoutNode& node = out_.newNode();
  node.kind = kind;
  node.element = &e;
  node.elementIndex = building_;
  node.environment = env;
  return &node;
}

bool LayoutBuilder::changesEnvironment(const Modifier& m) {
  switch (m.kind) {
    case ModifierKind::font:
    case ModifierKind::foregroundColor:
    case ModifierKind::tint:
    case ModifierKind::lineLimit:
    case ModifierKind::multilineTextAlignment:
    case ModifierKind::environment:
      return true;
    default:
      return false;
  }
}

const LayoutEnvironment* LayoutBuilder::shared(const LayoutEnvironment& env) {
  for (const LayoutEnvironment* recent : recent_) {
    if (recent != nullptr && *recent == env) return recent;
  }
  const LayoutEnvironment* made = &out_.environments_.emplace_back(env);
  recent_[nextRecent_] = made;
  nextRecent_ = (nextRecent_ + 1) % recent_.size();
  return made;
}

void LayoutBuilder::applyEnvironment(const Modifier& m, LayoutEnvironment& env) {
  switch (m.kind) {
    case ModifierKind::font:
      if (m.font) env.font = *m.font;
      break;
    case ModifierKind::foregroundColor:
      if (m.color) env.foregroundColor = *m.color;
      break;
    case ModifierKind::tint:
      if (m.color) env.tint = *m.color;
      break;
    case ModifierKind::lineLimit:
      env.lineLimit = m.lineLimit;
      break;
    case ModifierKind::multilineTextAlignment:
      if (m.textAlignment) env.textAlignment = *m.textAlignment;
      break;
    case ModifierKind::environment:
      if (m.layoutDirection) env.direction = *m.layoutDirection;
      break;
    default:
      break;
  }
}

LayoutNode* LayoutBuilder::buildCore(const Element& e, const LayoutEnvironment* env) {
  using Kind = LayoutNode::Kind;
  switch (e.kind) {
    case ElementKind::vstack:
    case ElementKind::hstack: {
      LayoutNode* node = add(e.kind == ElementKind::vstack ? Kind::vstack : Kind::hstack, e, env);
      node->spacing = layout::usable(e.spacing).value_or(design::defaultStackSpacing);
      addChildren(*node, e, env);
      setAxis(*node, e.kind == ElementKind::vstack ? Axis::vertical : Axis::horizontal);
      return node;
    }
    case ElementKind::scrollView: {
      LayoutNode* node = add(Kind::scrollView, e, env);
      addChildren(*node, e, env);
      if (node->children.size() > 1) node->children = {stackOf(node->children, e, env)};
      return node;
    }
    case ElementKind::spacer: {
      LayoutNode* node = add(Kind::spacer, e, env);
      node->minLength = layout::usable(e.minLength).value_or(design::defaultSpacerMinLength);
      return node;
    }
    case ElementKind::text: {
      LayoutNode* node = add(Kind::text, e, env);
      out_.textList_.emplace_back(&e, node);
      return node;
    }
    case ElementKind::image: {
      LayoutNode* node = add(Kind::symbol, e, env);
      node->symbolText = layout::symbolText(e.systemName);
      return node;
    }
    case ElementKind::label: {
      // The watch's label: the icon, then the title, side by side.
      LayoutNode* row = add(Kind::hstack, e, env);
      row->spacing = design::labelIconSpacing;
      LayoutNode* icon = add(Kind::symbol, e, env);
      icon->symbolText = layout::symbolText(e.systemName);
      LayoutNode* title = add(Kind::text, e, env);
      out_.textList_.emplace_back(&e, title);
      row->children = {icon, title};
      setAxis(*row, Axis::horizontal);
      return row;
    }
    case ElementKind::button: {
      LayoutNode* node = add(Kind::button, e, env);
      LayoutEnvironment inButton = *env;
      inButton.inButton = true;
      const LayoutEnvironment* inside = shared(inButton);
      addChildren(*node, e, inside);
      if (node->children.size() > 1) node->children = {stackOf(node->children, e, inside)};
      return node;
    }
    case ElementKind::circle:
    case ElementKind::roundedRectangle:
      return add(Kind::shape, e, env);
    case ElementKind::view:
    case ElementKind::group:
      break;
  }
  LayoutNode* node = add(Kind::container, e, env);
  addChildren(*node, e, env);
  // A view whose body gave several elements stacks them, as the watch does.
  if (node->children.size() > 1) node->children = {stackOf(node->children, e, env)};
  return node;
}

void LayoutBuilder::addChildren(LayoutNode& node, const Element& e, const LayoutEnvironment* env) {
  for (const Element& child : e.children) node.children.push_back(build(child, env));
}

LayoutNode* LayoutBuilder::stackOf(std::vector<LayoutNode*> children, const Element& e,
                                   const LayoutEnvironment* env) {
  LayoutNode* stack = add(LayoutNode::Kind::vstack, e, env);
  stack->spacing = design::defaultStackSpacing;
  stack->children = std::move(children);
  setAxis(*stack, Axis::vertical);
  return stack;
}

void LayoutBuilder::setAxis(LayoutNode& stack, Axis axis) {
  stack.axis = axis;
  for (LayoutNode* child : stack.children) {
    if (child->kind == LayoutNode::Kind::spacer) child->axis = axis;
  }
}

TextRequest LayoutBuilder::textRequest(const LayoutNode& n, double width, double height) const {
  const LayoutEnvironment& env = *n.environment;
  const Font font = env.font.value_or(Font::body());
  TextRequest request;
  if (n.element->text) request.text = n.element->text->shown();
  request.style = font.style();
  request.textSize = out_.face_.textSize;
  if (std::isfinite(height)) {
    const double leading = textStyleMetrics(request.style, request.textSize).leading;
    // A hair of slack: a frame made of whole lines must hold them all again.
    const double lines = std::floor((layout::nonNegative(height) + 1e-6) / leading);
    // A text keeps its first line whatever it is offered, as on the watch, unless the face
    // cannot hold them all: then a text that wraps gives way to the one-line texts (names),
    // down to no line at all.
    const bool oneLine = env.lineLimit && *env.lineLimit <= 1;
    const double least = oneLine || !wrappingTextsGiveWay_ ? 1.0 : 0.0;
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
  request.textSize = out_.face_.textSize;
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
    if (auto found = offsets_.find(scroll.identity); found != offsets_.end()) {
      offset = std::isnan(found->second) ? 0.0 : found->second;
    }
    scroll.offset = std::clamp(offset, 0.0, scroll.maxOffset());
    const double width = std::min(content.width, rect.width);
    place(*n.children[0],
          Rect{rect.x + (rect.width - width) / 2, rect.y - scroll.offset, width, content.height},
          clip.intersection(rect));
  }
  n.contentHeight = scroll.contentHeight;
  n.scrollOffset = scroll.offset;
  out_.scrollViews_.push_back(std::move(scroll));
}

void LayoutBuilder::placeCentered(LayoutNode& child, Rect rect, double w, double h, Rect clip) {
  const Size s = measure(child, w, h);
  place(child,
        Rect{rect.x + (rect.width - s.width) / 2, rect.y + (rect.height - s.height) / 2, s.width,
             s.height},
        clip);
}

bool LayoutBuilder::markAlwaysPlaced(LayoutNode& n, bool inClip) {
  bool holds = n.kind == LayoutNode::Kind::button || n.kind == LayoutNode::Kind::scrollView;
  const bool childrenInClip = inClip || n.kind == LayoutNode::Kind::clip;
  for (LayoutNode* child : n.children) holds = markAlwaysPlaced(*child, childrenInClip) || holds;
  n.alwaysPlaced = holds || inClip;
  return holds;
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
  wrappingTextsGiveWay_ = true;
  out_.wrappingTextsGiveWay_ = true;
  out_.forgetMeasurements();
}

}  // namespace dunvel
