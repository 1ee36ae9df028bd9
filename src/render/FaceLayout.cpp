// The layout runs in three passes over boxes made from the element tree:
//   build    the element tree becomes boxes (LayoutNode): each element a chain of boxes, its
//            modifiers that take room or paint outermost, around the box of its kind; what
//            the modifiers pass down (font, colours, direction) is an environment shared by the
//            boxes that inherit alike. A stack and the spacers in it know the stack's axis.
//   measure  a box is offered a size (width × height, either may be unbounded) and answers with
//            its own, asking its children as it needs; answers are kept per proposal. A stack
//            sizes its children along its axis in steps (see stackSizes). When the content does
//            not fit the face, texts that wrap give way and everything is measured again.
//   place    from the root down, each box gets its frame, its children theirs inside it; texts
//            are shaped for the frame they got, buttons and scroll views are noted for taps and
//            scrolling, and each scroll view's offset is clamped to its content.
// Then the time is laid out in the band at the top, outside the tree.
#include "render/FaceLayout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

#include "render/DesignSystem.h"
#include "render/TextEngine.h"

namespace dunvel {
namespace {

constexpr double kUnbounded = std::numeric_limits<double>::infinity();

double nonNegative(double value) {
  return value > 0.0 ? value : 0.0;
}

// Whether a box placed at rect inside clip may show: with room to spare beyond the painter's
// allowance for glyphs that overhang their box.
bool mayBePainted(const Rect& rect, const Rect& clip) {
  constexpr double kMargin = 8.0;
  const Rect hit =
      Rect{rect.x - kMargin, rect.y - kMargin, rect.width + 2 * kMargin, rect.height + 2 * kMargin}
          .intersection(clip);
  return hit.width > 0.0 && hit.height > 0.0;
}

const ScrollOffsets kNoOffsets;

std::string symbolText(std::string_view systemName) {
  const char32_t c = symbolCodepoint(systemName);
  if (c == 0) return {};
  // The symbols all sit in the Basic Multilingual Plane's private use area: three UTF-8 bytes.
  std::string text;
  text += static_cast<char>(0xE0 | ((c >> 12) & 0x0F));
  text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  text += static_cast<char>(0x80 | (c & 0x3F));
  return text;
}

struct Insets {
  double top = 0.0;
  double left = 0.0;
  double bottom = 0.0;
  double right = 0.0;
};

Insets paddingInsets(const Modifier& m, LayoutDirection direction) {
  const double amount = m.length ? nonNegative(*m.length) : design::defaultPadding;
  const bool rtl = direction == LayoutDirection::rightToLeft;
  Insets insets;
  if (contains(m.edges, Edges::top)) insets.top = amount;
  if (contains(m.edges, Edges::bottom)) insets.bottom = amount;
  if (contains(m.edges, Edges::leading)) (rtl ? insets.right : insets.left) = amount;
  if (contains(m.edges, Edges::trailing)) (rtl ? insets.left : insets.right) = amount;
  return insets;
}

std::optional<double> usable(const std::optional<double>& length) {
  if (!length || std::isnan(*length)) return std::nullopt;
  return nonNegative(*length);
}

// A size along a stack's axis (primary) and across it (secondary).
double primary(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.width : size.height;
}
double secondary(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.height : size.width;
}
// A size from its length along axis and its thickness across it.
Size sizeAlong(Axis axis, double along, double across) {
  return axis == Axis::horizontal ? Size{along, across} : Size{across, along};
}

// A few values for one call, on the stack unless there are many.
template <typename T>
class Scratch {
 public:
  explicit Scratch(std::size_t count) {
    if (count > kInline) heap_.resize(count);
  }
  T* data() { return heap_.empty() ? inline_.data() : heap_.data(); }
  T& operator[](std::size_t i) { return data()[i]; }

 private:
  static constexpr std::size_t kInline = 16;
  std::array<T, kInline> inline_{};
  std::vector<T> heap_;
};

}  // namespace

// Builds the boxes of a tree, measures them for proposals and places them.
class LayoutBuilder {
 public:
  LayoutBuilder(FaceLayout& out, TextEngine& engine, const ScrollOffsets& offsets)
      : out_(out),
        engine_(engine),
        offsets_(offsets),
        wrappingTextsGiveWay_(out.wrappingTextsGiveWay_) {}

  LayoutNode* build(const Element& e, const LayoutEnvironment* outer) {
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

  Size measure(LayoutNode& n, double w, double h) {
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

  // A text or symbol box shaped for its frame; null for a text offered less than one line.
  const ShapedText* shapedText(const LayoutNode& n, const Rect& frame) {
    if (n.kind == LayoutNode::Kind::symbol) return &engine_.shape(symbolRequest(n));
    const TextRequest request = textRequest(n, frame.width, frame.height);
    return request.maxLines == 0 ? nullptr : &engine_.shape(request);
  }

  void place(LayoutNode& n, Rect rect, Rect clip) {
    n.frame = rect;
    // A box out of sight is not painted, and nothing inside it can be tapped or scrolled: what
    // is inside is placed only when asked about. A wheel step over a long list then places the
    // rows in sight, not every row.
    if (deferOutOfSight_ && !n.alwaysPlaced && !n.children.empty() && !mayBePainted(rect, clip)) {
      out_.deferred_.emplace_back(&n, clip);
      return;
    }
    switch (n.kind) {
      case LayoutNode::Kind::text:
      case LayoutNode::Kind::symbol:
        // Only what may be painted is shaped now: a long list's rows out of sight cost nothing
        // until they scroll in or are asked about (FaceLayout::shapedText).
        n.shaped = mayBePainted(rect, clip) ? shapedText(n, rect) : nullptr;
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
        const Rect inner{rect.x + design::buttonHorizontalInset,
                         rect.y + design::buttonVerticalInset,
                         nonNegative(rect.width - 2 * design::buttonHorizontalInset),
                         nonNegative(rect.height - 2 * design::buttonVerticalInset)};
        placeCentered(*n.children[0], inner, inner.width, inner.height, clip);
        break;
      }
      case LayoutNode::Kind::padding: {
        const Insets in = paddingInsets(*n.modifier, n.environment->direction);
        place(*n.children[0],
              Rect{rect.x + in.left, rect.y + in.top, nonNegative(rect.width - in.left - in.right),
                   nonNegative(rect.height - in.top - in.bottom)},
              clip);
        break;
      }
      case LayoutNode::Kind::fixedFrame: {
        const FixedFrame& f = *n.modifier->fixedFrame;
        placeCentered(*n.children[0], rect, usable(f.width).value_or(rect.width),
                      usable(f.height).value_or(rect.height), clip);
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

 private:
  LayoutNode* add(LayoutNode::Kind kind, const Element& e, const LayoutEnvironment* env) {
    LayoutNode& node = out_.newNode();
    node.kind = kind;
    node.element = &e;
    node.elementIndex = building_;
    node.environment = env;
    return &node;
  }

  static bool changesEnvironment(const Modifier& m) {
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

  // One stored environment for each value in use: the rows of a list repeat the same few, so
  // the last ones made are looked at first.
  const LayoutEnvironment* shared(const LayoutEnvironment& env) {
    for (const LayoutEnvironment* recent : recent_) {
      if (recent != nullptr && *recent == env) return recent;
    }
    const LayoutEnvironment* made = &out_.environments_.emplace_back(env);
    recent_[nextRecent_] = made;
    nextRecent_ = (nextRecent_ + 1) % recent_.size();
    return made;
  }

  static void applyEnvironment(const Modifier& m, LayoutEnvironment& env) {
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

  LayoutNode* buildCore(const Element& e, const LayoutEnvironment* env) {
    using Kind = LayoutNode::Kind;
    switch (e.kind) {
      case ElementKind::vstack:
      case ElementKind::hstack: {
        LayoutNode* node = add(e.kind == ElementKind::vstack ? Kind::vstack : Kind::hstack, e, env);
        node->spacing = usable(e.spacing).value_or(design::defaultStackSpacing);
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
        node->minLength = usable(e.minLength).value_or(design::defaultSpacerMinLength);
        return node;
      }
      case ElementKind::text: {
        LayoutNode* node = add(Kind::text, e, env);
        out_.textList_.emplace_back(&e, node);
        return node;
      }
      case ElementKind::image: {
        LayoutNode* node = add(Kind::symbol, e, env);
        node->symbolText = symbolText(e.systemName);
        return node;
      }
      case ElementKind::label: {
        // The watch's label: the icon, then the title, side by side.
        LayoutNode* row = add(Kind::hstack, e, env);
        row->spacing = design::labelIconSpacing;
        LayoutNode* icon = add(Kind::symbol, e, env);
        icon->symbolText = symbolText(e.systemName);
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

  void addChildren(LayoutNode& node, const Element& e, const LayoutEnvironment* env) {
    for (const Element& child : e.children) node.children.push_back(build(child, env));
  }

  LayoutNode* stackOf(std::vector<LayoutNode*> children, const Element& e,
                      const LayoutEnvironment* env) {
    LayoutNode* stack = add(LayoutNode::Kind::vstack, e, env);
    stack->spacing = design::defaultStackSpacing;
    stack->children = std::move(children);
    setAxis(*stack, Axis::vertical);
    return stack;
  }

  // A stack's axis, which the spacers standing in it stretch along.
  static void setAxis(LayoutNode& stack, Axis axis) {
    stack.axis = axis;
    for (LayoutNode* child : stack.children) {
      if (child->kind == LayoutNode::Kind::spacer) child->axis = axis;
    }
  }

  // A text offered width × height: wrapped to the width, and cut to the lines that fit the
  // height (at least one), so that it never draws outside the frame it is given.
  TextRequest textRequest(const LayoutNode& n, double width, double height) const {
    const LayoutEnvironment& env = *n.environment;
    const Font font = env.font.value_or(Font::body());
    TextRequest request;
    if (n.element->text) request.text = n.element->text->shown();
    request.style = font.style();
    request.textSize = out_.face_.textSize;
    if (std::isfinite(height)) {
      const double leading = textStyleMetrics(request.style, request.textSize).leading;
      // A hair of slack: a frame made of whole lines must hold them all again.
      const double lines = std::floor((nonNegative(height) + 1e-6) / leading);
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

  TextRequest symbolRequest(const LayoutNode& n) const {
    TextRequest request;
    request.text = n.symbolText;
    request.symbol = true;
    request.style = n.environment->font.value_or(Font::body()).style();
    request.textSize = out_.face_.textSize;
    request.direction = n.environment->direction;
    return request;
  }

  Size flexibleProposal(const LayoutNode& n, double w, double h) const {
    const FlexibleFrame& f = *n.modifier->flexibleFrame;
    auto clamp = [](double value, const std::optional<double>& lo,
                    const std::optional<double>& hi) {
      if (hi && !std::isnan(*hi) && value > *hi) value = *hi;
      if (lo && !std::isnan(*lo) && value < *lo) value = *lo;
      return value;
    };
    return {clamp(w, f.minWidth, f.maxWidth), clamp(h, f.minHeight, f.maxHeight)};
  }

  static double frameLength(double child, double proposed, const std::optional<double>& lo,
                            const std::optional<double>& hi) {
    // A flexible frame is as large as its content, grown towards its maximum as far as the
    // proposal allows, and never below its minimum.
    double length = child;
    if (hi && !std::isnan(*hi) && std::isfinite(proposed) && proposed > length) {
      length = std::min(proposed, *hi);
    }
    if (hi && !std::isnan(*hi) && length > *hi) length = *hi;
    if (lo && !std::isnan(*lo) && length < *lo) length = *lo;
    return nonNegative(length);
  }

  Size compute(LayoutNode& n, double w, double h) {
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
        return {std::isfinite(w) ? nonNegative(w) : design::shapeIdealLength,
                std::isfinite(h) ? nonNegative(h) : design::shapeIdealLength};
      case Kind::spacer:
        return sizeAlong(n.axis, n.minLength, 0.0);
      case Kind::vstack:
      case Kind::hstack: {
        Scratch<Size> sizes(n.children.size());
        return stackSizes(n, w, h, sizes.data());
      }
      case Kind::scrollView: {
        if (n.children.empty()) return {std::isfinite(w) ? w : 0.0, std::isfinite(h) ? h : 0.0};
        const Size content = measure(*n.children[0], w, kUnbounded);
        return {std::isfinite(w) ? w : content.width, std::isfinite(h) ? h : content.height};
      }
      case Kind::button: {
        Size inner;
        if (!n.children.empty()) {
          inner = measure(*n.children[0], nonNegative(w - 2 * design::buttonHorizontalInset),
                          nonNegative(h - 2 * design::buttonVerticalInset));
        }
        // The watch's buttons take the whole width they are offered.
        const double width =
            std::isfinite(w) ? nonNegative(w) : inner.width + 2 * design::buttonHorizontalInset;
        return {width,
                std::max(design::buttonMinHeight, inner.height + 2 * design::buttonVerticalInset)};
      }
      case Kind::padding: {
        const Insets in = paddingInsets(*n.modifier, n.environment->direction);
        const Size inner = measure(*n.children[0], nonNegative(w - in.left - in.right),
                                   nonNegative(h - in.top - in.bottom));
        return {inner.width + in.left + in.right, inner.height + in.top + in.bottom};
      }
      case Kind::fixedFrame: {
        const FixedFrame& f = *n.modifier->fixedFrame;
        const std::optional<double> fw = usable(f.width);
        const std::optional<double> fh = usable(f.height);
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

  // A child of a stack in the order the stack sizes its children, and how much it can grow
  // along the stack's axis: its length offered no limit less its length offered nothing.
  struct Slot {
    std::size_t index;
    double flexibility;
  };

  // The sizes of a stack's children for a proposal (into sizes, one per child), and the
  // stack's own size. Children that are not spacers are offered an equal share of what is left,
  // the least flexible first, so a fixed-size child takes its size and a flexible one takes the
  // rest; spacers share what remains after them (at least their minimum length).
  Size stackSizes(LayoutNode& n, double w, double h, Size* sizes) {
    const Size proposed{w, h};
    const double along = primary(proposed, n.axis);
    const double across = secondary(proposed, n.axis);
    const std::size_t count = n.children.size();
    Scratch<Slot> slots(count);
    Slot* const firstSpacer = slots.data() + spacersLast(n, slots.data());
    Slot* const end = slots.data() + count;
    if (!std::isfinite(along)) {
      sizeAtLength(n, slots.data(), firstSpacer, kUnbounded, across, sizes);
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
          spacers == 0 ? 0.0 : nonNegative(remaining) / static_cast<double>(spacers);
      stretchSpacers(n, firstSpacer, end, share, sizes);
    }
    return stackSize(n, sizes);
  }

  // The stack's spacing between its children, all told.
  static double totalSpacing(const LayoutNode& n) {
    const std::size_t count = n.children.size();
    return count > 1 ? n.spacing * static_cast<double>(count - 1) : 0.0;
  }

  // The minimum lengths of the stack's spacers, all told.
  static double spacersMinimum(const LayoutNode& n) {
    double minimum = 0.0;
    for (const LayoutNode* child : n.children) {
      if (child->kind == LayoutNode::Kind::spacer) minimum += child->minLength;
    }
    return minimum;
  }

  // Fills slots with the stack's children, those that are not spacers first, each group in
  // tree order; returns how many are not spacers.
  static std::size_t spacersLast(const LayoutNode& n, Slot* slots) {
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

  // Sizes each child in [first, last) for length along the stack's axis.
  void sizeAtLength(LayoutNode& n, Slot* first, Slot* last, double length, double across,
                    Size* sizes) {
    const Size p = sizeAlong(n.axis, length, across);
    for (Slot* s = first; s != last; ++s) {
      sizes[s->index] = measure(*n.children[s->index], p.width, p.height);
    }
  }

  // Whether a box offered at least its natural width (its width offered no limit) at this
  // height takes exactly that size: a text of one line, a symbol, and such a box with padding,
  // a background, a clip or a fixed frame around it.
  bool keepsNaturalWidth(LayoutNode& n, double height) {
    using Kind = LayoutNode::Kind;
    switch (n.kind) {
      case Kind::symbol:
        return true;
      case Kind::text: {
        // Offered a width its one line fits in, the engine gives the natural layout back; offered
        // less than one line, a text shows none at any width.
        const TextRequest request = textRequest(n, kUnbounded, height);
        return request.maxLines == 0 || engine_.shape(request).lines <= 1;
      }
      case Kind::padding: {
        const Insets in = paddingInsets(*n.modifier, n.environment->direction);
        return keepsNaturalWidth(*n.children[0], nonNegative(height - in.top - in.bottom));
      }
      case Kind::fixedFrame: {
        const FixedFrame& f = *n.modifier->fixedFrame;
        if (usable(f.width)) return true;
        return keepsNaturalWidth(*n.children[0], usable(f.height).value_or(height));
      }
      case Kind::background:
      case Kind::clip:
        return keepsNaturalWidth(*n.children[0], height);
      default:
        return false;
    }
  }

  // For a row whose children in [first, last) all keep their natural width and fit in length
  // at the widest one's width each: any order of sharing out offers each child at least its
  // natural width, so each takes it (into sizes) and ordering them by flexibility, which
  // shapes every text again offered no width (wrapped at every character), is not needed.
  bool naturalWidthsFit(LayoutNode& n, Slot* first, Slot* last, double length, double height,
                        Size* sizes) {
    if (n.axis != Axis::horizontal || last - first < 2) return false;
    double widest = 0.0;
    for (Slot* s = first; s != last; ++s) {
      LayoutNode& child = *n.children[s->index];
      if (!keepsNaturalWidth(child, height)) return false;
      sizes[s->index] = measure(child, kUnbounded, height);
      widest = std::max(widest, sizes[s->index].width);
    }
    // With room to spare: a share is computed by division, and must not come out a hair short.
    return widest * static_cast<double>(last - first) + 1e-6 <= length;
  }

  // Orders the children in [first, last) by how much they can grow along the stack's axis,
  // the least first (children that grow alike keep their order).
  void sortByFlexibility(LayoutNode& n, Slot* first, Slot* last, double across) {
    // One child has no other to be ordered against.
    if (last - first < 2) return;
    const Size small = sizeAlong(n.axis, 0.0, across);
    const Size large = sizeAlong(n.axis, kUnbounded, across);
    for (Slot* s = first; s != last; ++s) {
      LayoutNode& child = *n.children[s->index];
      s->flexibility = primary(measure(child, large.width, large.height), n.axis) -
                       primary(measure(child, small.width, small.height), n.axis);
    }
    const auto lessFlexible = [](const Slot& a, const Slot& b) {
      return a.flexibility < b.flexibility;
    };
    // Rows of a list are alike, so mostly already in order: then sorting (and its buffer as
    // long as the list) is skipped.
    if (!std::is_sorted(first, last, lessFlexible)) std::stable_sort(first, last, lessFlexible);
  }

  // Offers each child in [first, last), in that order, an equal share of the length not yet
  // taken; returns the length left after them all (negative when they overflow).
  double shareOut(LayoutNode& n, Slot* first, Slot* last, double remaining, double across,
                  Size* sizes) {
    std::size_t left = static_cast<std::size_t>(last - first);
    for (Slot* s = first; s != last; ++s) {
      const Size p = sizeAlong(n.axis, nonNegative(remaining / static_cast<double>(left)), across);
      sizes[s->index] = measure(*n.children[s->index], p.width, p.height);
      remaining -= primary(sizes[s->index], n.axis);
      --left;
    }
    return remaining;
  }

  // The spacers in [first, last): their minimum length and share more each.
  static void stretchSpacers(const LayoutNode& n, Slot* first, Slot* last, double share,
                             Size* sizes) {
    for (Slot* s = first; s != last; ++s) {
      sizes[s->index] = sizeAlong(n.axis, n.children[s->index]->minLength + share, 0.0);
    }
  }

  // The stack's own size: its children and spacing end to end, as thick as the thickest child.
  static Size stackSize(const LayoutNode& n, const Size* sizes) {
    double sum = totalSpacing(n);
    double cross = 0.0;
    for (std::size_t i = 0; i < n.children.size(); ++i) {
      sum += primary(sizes[i], n.axis);
      cross = std::max(cross, secondary(sizes[i], n.axis));
    }
    return sizeAlong(n.axis, sum, cross);
  }

  // The sizes of a stack's children for placing it in width × height. A long stack keeps them
  // (sizes never change once measured), so placing it again for a scroll asks its rows nothing.
  const Size* placedSizes(LayoutNode& n, double width, double height, Scratch<Size>& scratch) {
    if (n.children.size() < kKeptFrom) {
      stackSizes(n, width, height, scratch.data());
      return scratch.data();
    }
    FaceLayout::KeptSizes& kept = out_.keptSizes_[&n];
    if (kept.sizes.size() != n.children.size() || kept.width != width || kept.height != height) {
      kept.sizes.resize(n.children.size());
      stackSizes(n, width, height, kept.sizes.data());
      kept.width = width;
      kept.height = height;
    }
    return kept.sizes.data();
  }

  void placeStack(LayoutNode& n, Rect rect, Rect clip) {
    Scratch<Size> scratch(n.children.size() < kKeptFrom ? n.children.size() : 0);
    const Size* sizes = placedSizes(n, rect.width, rect.height, scratch);
    const bool rtl = n.environment->direction == LayoutDirection::rightToLeft;
    if (n.axis == Axis::vertical) {
      double y = rect.y;
      for (std::size_t i = 0; i < n.children.size(); ++i) {
        const Size s = sizes[i];
        double x = rect.x + (rect.width - s.width) / 2;
        HorizontalAlignment a = n.element->kind == ElementKind::vstack
                                    ? n.element->horizontalAlignment
                                    : HorizontalAlignment::center;
        if (a == HorizontalAlignment::leading) x = rtl ? rect.maxX() - s.width : rect.x;
        if (a == HorizontalAlignment::trailing) x = rtl ? rect.x : rect.maxX() - s.width;
        place(*n.children[i], Rect{x, y, s.width, s.height}, clip);
        y += s.height + n.spacing;
      }
      return;
    }
    // The first child stands at the leading edge: the right one in right-to-left layout.
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
      place(*n.children[i], Rect{left, y, s.width, s.height}, clip);
      x = rtl ? x - s.width - n.spacing : x + s.width + n.spacing;
    }
  }

  void placeScrollView(LayoutNode& n, Rect rect, Rect clip) {
    ScrollViewLayout scroll;
    scroll.identity = n.element->identity;
    scroll.viewport = rect;
    if (!n.children.empty()) {
      const Size content = measure(*n.children[0], rect.width, kUnbounded);
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

  void placeCentered(LayoutNode& child, Rect rect, double w, double h, Rect clip) {
    const Size s = measure(child, w, h);
    place(child,
          Rect{rect.x + (rect.width - s.width) / 2, rect.y + (rect.height - s.height) / 2, s.width,
               s.height},
          clip);
  }

  // Stacks with this many children keep their children's sizes between placings.
  static constexpr std::size_t kKeptFrom = 64;

  FaceLayout& out_;
  TextEngine& engine_;
  const ScrollOffsets& offsets_;
  bool wrappingTextsGiveWay_ = false;
  bool deferOutOfSight_ = true;
  std::array<const LayoutEnvironment*, 8> recent_{};
  // The element whose boxes are being made.
  std::uint32_t building_ = 0;
  std::size_t nextRecent_ = 0;

 public:
  // Places every box, in sight or not.
  void placeEverything() { deferOutOfSight_ = false; }

  // Marks the boxes placed even out of sight (LayoutNode::alwaysPlaced); whether one that
  // must be is under n.
  static bool markAlwaysPlaced(LayoutNode& n, bool inClip) {
    bool holds = n.kind == LayoutNode::Kind::button || n.kind == LayoutNode::Kind::scrollView;
    const bool childrenInClip = inClip || n.kind == LayoutNode::Kind::clip;
    for (LayoutNode* child : n.children) holds = markAlwaysPlaced(*child, childrenInClip) || holds;
    n.alwaysPlaced = holds || inClip;
    return holds;
  }

  // Whether a text box measures for every proposal it was measured for as it did, now that
  // its element (of the same look but for the text) shows another text.
  bool measuresAsBefore(LayoutNode& n) {
    // A box keeps only its first measurements: others may have been asked and not kept.
    if (n.measuredMore) return false;
    for (std::size_t i = 0; i < n.measuredCount; ++i) {
      const LayoutNode::Measured& m = n.measured[i];
      if (compute(n, m.width, m.height) != m.size) return false;
    }
    return true;
  }

  // From now on texts that wrap may show no line at all when offered less than one; sizes
  // measured before are forgotten.
  void letWrappingTextsGiveWay() {
    wrappingTextsGiveWay_ = true;
    out_.wrappingTextsGiveWay_ = true;
    out_.forgetMeasurements();
  }
};

FaceLayout::FaceLayout(const Element& tree, const FaceMetrics& face, TextEngine& engine,
                       const ScrollOffsets& offsets, std::string_view time)
    : face_(face), engine_(&engine) {
  LayoutBuilder builder(*this, engine, offsets);
  root_ = builder.build(tree, &kNoLayoutEnvironment);
  LayoutBuilder::markAlwaysPlaced(*root_, false);
  // The content fills the face below the time band; what is smaller is centred in it.
  const Rect safe{0.0, face.safeAreaTop, face.size.width,
                  nonNegative(face.size.height - face.safeAreaTop)};
  Size size = builder.measure(*root_, safe.width, safe.height);
  if (size.height > safe.height + 1e-6) {
    builder.letWrappingTextsGiveWay();
    size = builder.measure(*root_, safe.width, safe.height);
  }
  const double width = std::min(size.width, safe.width);
  const double height = std::min(size.height, safe.height);
  builder.place(
      *root_,
      Rect{safe.x + (safe.width - width) / 2, safe.y + (safe.height - height) / 2, width, height},
      Rect{0.0, 0.0, face.size.width, face.size.height});
  if (!time.empty()) layOutTime(time, engine);
}

bool FaceLayout::relayText(const Element& tree, const ScrollOffsets& offsets) {
  if (!looks_) return false;
  // The new tree depth first, as it was built: each element's look and number of children
  // must be the last tree's, but for the texts shown.
  std::vector<const Element*> elements;
  elements.reserve(looks_->size());
  std::vector<std::uint32_t> retexted;
  bool same = true;
  const auto walk = [&](const auto& self, const Element& e) -> void {
    if (!same) return;
    const std::size_t index = elements.size();
    if (index >= looks_->size() || (*looks_)[index].children != e.children.size()) {
      same = false;
      return;
    }
    elements.push_back(&e);
    const ElementLook& before = (*looks_)[index].look;
    if (before.text != e.text) {
      ElementLook look = e.look();
      look.text = before.text;
      if (!(look == before)) {
        same = false;
        return;
      }
      retexted.push_back(static_cast<std::uint32_t>(index));
    } else if (!(e.look() == before)) {
      same = false;
      return;
    }
    for (const Element& child : e.children) self(self, child);
  };
  walk(walk, tree);
  if (!same || elements.size() != looks_->size()) return false;

  // The boxes now stand for the new tree's elements (the last tree may be gone). Their shaped
  // texts are let go: the engine may since have evicted those of boxes out of sight, which
  // placing does not reach; the boxes placed below are shaped again (found in the engine).
  for (std::size_t b = 0; b < blocks_.size(); ++b) {
    const std::size_t used = b + 1 == blocks_.size() ? usedInBlock_ : kNodesPerBlock;
    for (std::size_t i = 0; i < used; ++i) {
      LayoutNode& n = blocks_[b][i];
      n.element = elements[n.elementIndex];
      if (n.modifier != nullptr) n.modifier = &n.element->modifiers[n.modifierIndex];
      n.shaped = nullptr;
    }
  }
  for (auto& [element, node] : outerList_) element = elements[node->elementIndex];
  for (auto& [element, node] : textList_) element = elements[node->elementIndex];
  outer_.clear();
  textNodes_.clear();
  indexed_ = false;

  // A new text that measures as the old one did leaves every other box where it was.
  LayoutBuilder builder(*this, *engine_, offsets);
  for (const auto& [element, node] : textList_) {
    if (std::find(retexted.begin(), retexted.end(), node->elementIndex) == retexted.end()) continue;
    if (!builder.measuresAsBefore(*const_cast<LayoutNode*>(node))) return false;
  }
  for (const std::uint32_t index : retexted) (*looks_)[index].look.text = elements[index]->text;
  placeAgain(offsets);
  return true;
}

void FaceLayout::layOutTime(std::string_view time, TextEngine& engine) {
  // White, semibold, at the body size of the case's own text size, in the band's trailing
  // corner: the top left when the face is laid out right to left.
  TextRequest request;
  request.text = time;
  request.style = TextStyle::body;
  request.textSize = face_.defaultTextSize;
  request.bold = true;
  request.lineLimit = 1;
  const ShapedText& shaped = engine.shape(request);
  const LayoutDirection direction = root_->environment->direction;
  const double inset = face_.displayCornerRadius * design::timeTrailingInsetPerCornerRadius;
  const double x = direction == LayoutDirection::rightToLeft
                       ? inset
                       : face_.size.width - inset - shaped.size.width;
  time_.kind = LayoutNode::Kind::text;
  timeEnvironment_.direction = direction;
  time_.environment = &timeEnvironment_;
  time_.frame = Rect{x, nonNegative(face_.safeAreaTop - shaped.size.height) / 2, shaped.size.width,
                     shaped.size.height};
  time_.shaped = &shaped;
}

LayoutNode& FaceLayout::newNode() {
  if (blocks_.empty() || usedInBlock_ == kNodesPerBlock) {
    blocks_.push_back(std::make_unique<LayoutNode[]>(kNodesPerBlock));
    usedInBlock_ = 0;
  }
  return blocks_.back()[usedInBlock_++];
}

void FaceLayout::forgetMeasurements() {
  keptSizes_.clear();
  for (std::size_t b = 0; b < blocks_.size(); ++b) {
    const std::size_t used = b + 1 == blocks_.size() ? usedInBlock_ : kNodesPerBlock;
    for (std::size_t i = 0; i < used; ++i) {
      blocks_[b][i].measuredCount = 0;
      blocks_[b][i].measuredMore = false;
    }
  }
}

void FaceLayout::placeTime(std::string_view time) {
  time_ = LayoutNode{};
  if (!time.empty()) layOutTime(time, *engine_);
}

void FaceLayout::placeDeferred() const {
  if (deferred_.empty()) return;
  // Placed as they would have been at once: the same frames and clips, and nothing inside them
  // that would add a button or a scroll view. The builder changes only boxes.
  LayoutBuilder builder(const_cast<FaceLayout&>(*this), *engine_, kNoOffsets);
  builder.placeEverything();
  for (const auto& [node, clip] : deferred_) builder.place(*node, node->frame, clip);
  deferred_.clear();
}

void FaceLayout::index() const {
  placeDeferred();
  if (indexed_) return;
  // An element laid out twice (it cannot be, but a later entry would have won) keeps its last.
  for (const auto& [element, node] : outerList_) outer_[element] = node;
  for (const auto& [element, node] : textList_) textNodes_[element] = node;
  indexed_ = true;
}

std::optional<Rect> FaceLayout::frameOf(const Element& element) const {
  index();
  auto found = outer_.find(&element);
  if (found == outer_.end()) return std::nullopt;
  return found->second->frame;
}

std::optional<int> FaceLayout::linesOf(const Element& element) const {
  index();
  auto found = textNodes_.find(&element);
  if (found == textNodes_.end()) return std::nullopt;
  // A placed text without a layout was offered less than one line and shows none.
  const ShapedText* shaped = shapedText(*found->second);
  return shaped ? shaped->lines : 0;
}

bool FaceLayout::isTruncated(const Element& element) const {
  index();
  auto found = textNodes_.find(&element);
  if (found == textNodes_.end()) return false;
  if (const ShapedText* shaped = shapedText(*found->second)) return shaped->truncated;
  return element.text && !element.text->shown().empty();
}

const ShapedText* FaceLayout::shapedText(const LayoutNode& node) const {
  placeDeferred();
  if (node.shaped) return node.shaped;
  // Shaped as placing would have, had it been in sight. The builder only reads the layout.
  LayoutBuilder builder(const_cast<FaceLayout&>(*this), *engine_, kNoOffsets);
  return builder.shapedText(node, node.frame);
}

void FaceLayout::placeAgain(const ScrollOffsets& offsets) {
  // Every size measured stays right: scroll offsets only move boxes. The boxes, buttons and
  // scroll views are placed anew, with the same arithmetic as the first placing.
  buttons_.clear();
  scrollViews_.clear();
  deferred_.clear();
  LayoutBuilder builder(*this, *engine_, offsets);
  builder.place(*root_, root_->frame, Rect{0.0, 0.0, face_.size.width, face_.size.height});
}

const Element* FaceLayout::buttonAt(Point point) const {
  for (auto it = buttons_.rbegin(); it != buttons_.rend(); ++it) {
    if (it->visible.contains(point)) return it->element;
  }
  return nullptr;
}

const ScrollViewLayout* FaceLayout::scrollViewAt(Point point) const {
  for (auto it = scrollViews_.rbegin(); it != scrollViews_.rend(); ++it) {
    if (it->viewport.contains(point)) return &*it;
  }
  return nullptr;
}

}  // namespace dunvel
