#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "views/toolkit/ElementLook.h"
#include "views/toolkit/Modifier.h"

namespace dunvel {

// One element of the resolved tree that a ViewGraph produces: views expanded, no coordinates.
// Only the properties of its kind are meaningful:
//   vstack → horizontalAlignment, spacing; hstack → verticalAlignment, spacing (none: the
//   platform's default); scrollView → axis, showsIndicators, one child; spacer → minLength;
//   text → text; image → systemName; label → text (title) and systemName (icon);
//   button → action, one child (its label); circle, roundedRectangle → shape;
//   view → viewType, the elements its body produced as children.
// Modifiers are in the order they were applied: modifiers[0] is innermost. What an element shows
// is its ElementLook; the children and the action are the rest.
struct Element : ElementLook {
  std::vector<Element> children;
  // A button's action, run in the environment of the button's place.
  std::function<void()> action;

  // Queries for tests and tools. Pointers stay valid until the graph evaluates again.
  // Depth first, this element included, in tree order.
  std::vector<const Element*> findAll(const std::function<bool(const Element&)>& match) const;
  const Element* find(const std::function<bool(const Element&)>& match) const;
  // Elements of one kind.
  std::vector<const Element*> findAll(ElementKind kind) const;
  // The first text or label whose shown text is exactly shown.
  const Element* findText(std::string_view shown) const;
  // The first button whose label contains a text or label showing exactly shown.
  const Element* findButton(std::string_view shown) const;
  // The first view element of the given type name (without namespace), such as "IdleView".
  const Element* findView(std::string_view type) const;
  // Every text shown in this subtree (texts and label titles), in tree order.
  std::vector<std::string> texts() const;
  // The first modifier of the kind, innermost first; null when there is none.
  const Modifier* modifier(ModifierKind kind) const;
  // Runs a button's action; std::logic_error for an element that is not a button.
  void tap() const;

  const ElementLook& look() const { return *this; }
  // Whether the two trees look the same: equal looks in the same places. What a button does is
  // not part of its look.
  bool looksLike(const Element& other) const;
  // Elements compare by looksLike: a plain == would compare only this element's own look.
  friend bool operator==(const Element&, const Element&) = delete;
};

}  // namespace dunvel
