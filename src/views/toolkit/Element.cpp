#include "views/toolkit/Element.h"

#include <cstddef>
#include <stdexcept>

namespace dunvel {

namespace {

void collect(const Element& element, const std::function<bool(const Element&)>& match,
             std::vector<const Element*>& found) {
  if (match(element)) found.push_back(&element);
  for (const Element& child : element.children) collect(child, match, found);
}

const Element* first(const Element& element, const std::function<bool(const Element&)>& match) {
  if (match(element)) return &element;
  for (const Element& child : element.children) {
    if (const Element* found = first(child, match)) return found;
  }
  return nullptr;
}

bool showsText(const Element& element, std::string_view shown) {
  return (element.kind == ElementKind::text || element.kind == ElementKind::label) &&
         element.text && element.text->shown() == shown;
}

}  // namespace

std::vector<const Element*> Element::findAll(
    const std::function<bool(const Element&)>& match) const {
  std::vector<const Element*> found;
  collect(*this, match, found);
  return found;
}

const Element* Element::find(const std::function<bool(const Element&)>& match) const {
  return first(*this, match);
}

std::vector<const Element*> Element::findAll(ElementKind wanted) const {
  return findAll([wanted](const Element& e) { return e.kind == wanted; });
}

const Element* Element::findText(std::string_view shown) const {
  return find([shown](const Element& e) { return showsText(e, shown); });
}

const Element* Element::findButton(std::string_view shown) const {
  return find([shown](const Element& e) {
    return e.kind == ElementKind::button &&
           e.find([shown](const Element& inner) { return showsText(inner, shown); }) != nullptr;
  });
}

const Element* Element::findView(std::string_view type) const {
  return find(
      [type](const Element& e) { return e.kind == ElementKind::view && e.viewType == type; });
}

std::vector<std::string> Element::texts() const {
  std::vector<std::string> result;
  for (const Element* e : findAll([](const Element& e) {
         return (e.kind == ElementKind::text || e.kind == ElementKind::label) && e.text;
       })) {
    result.push_back(e->text->shown());
  }
  return result;
}

const Modifier* Element::modifier(ModifierKind wanted) const {
  for (const Modifier& m : modifiers) {
    if (m.kind == wanted) return &m;
  }
  return nullptr;
}

void Element::tap() const {
  if (kind != ElementKind::button) throw std::logic_error("tap: the element is not a button");
  if (action) action();
}

bool Element::looksLike(const Element& other) const {
  if (look() != other.look() || children.size() != other.children.size()) return false;
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (!children[i].looksLike(other.children[i])) return false;
  }
  return true;
}

}  // namespace dunvel
