// LayoutBuilder, the build pass (see LayoutBuilder.h): each element a chain of boxes around the
// box of its kind, with the environments they inherit shared.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "render/DesignSystem.h"
#include "render/LayoutArithmetic.h"
#include "render/LayoutBuilder.h"

namespace dunvel {
namespace {

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

}  // namespace

LayoutNode* LayoutBuilder::build(const Element& e, const LayoutEnvironment* outer) {
  // The boxes made from here on are the element's (those of its children set their own).
  const std::uint32_t outerElement = building_;
  building_ = static_cast<std::uint32_t>(tree_.elementCount++);
  if (tree_.looks) {
    if (tree_.looks->size() < LayoutTree::kLooksKeptUpTo) {
      tree_.looks->push_back({e.look(), e.children.size()});
    } else {
      tree_.looks.reset();
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
  tree_.outerBoxes.emplace_back(&e, node);
  building_ = outerElement;
  return node;
}

LayoutNode* LayoutBuilder::add(LayoutNode::Kind kind, const Element& e,
                               const LayoutEnvironment* env) {
  LayoutNode& node = tree_.nodes.make();
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
  const LayoutEnvironment* made = &tree_.environments.emplace_back(env);
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
      tree_.textBoxes.emplace_back(&e, node);
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
      tree_.textBoxes.emplace_back(&e, title);
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

bool LayoutBuilder::markAlwaysPlaced(LayoutNode& n, Enclosure enclosure) {
  bool holds = n.kind == LayoutNode::Kind::button || n.kind == LayoutNode::Kind::scrollView;
  n.holdsScrollView = n.kind == LayoutNode::Kind::scrollView;
  const Enclosure aroundChildren =
      n.kind == LayoutNode::Kind::clip ? Enclosure::clipShape : enclosure;
  for (LayoutNode* child : n.children) {
    holds = markAlwaysPlaced(*child, aroundChildren) || holds;
    n.holdsScrollView = n.holdsScrollView || child->holdsScrollView;
  }
  n.alwaysPlaced = holds || enclosure == Enclosure::clipShape;
  return holds;
}

}  // namespace dunvel
