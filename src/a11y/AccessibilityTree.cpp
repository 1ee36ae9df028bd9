#include "a11y/AccessibilityTree.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace dunvel {
namespace {

// The short Arabic names symbols are read as: our own table, since the platform's spoken
// names for its symbols are not published.
struct NamedSymbol {
  std::string_view systemName;
  std::string_view name;
};
constexpr NamedSymbol kSymbolNames[] = {
    {"gamecontroller.fill",
     "\xD9\x8A\xD8\xAF \xD8\xA7\xD9\x84\xD8\xAA\xD8\xAD\xD9\x83\xD9\x85"},  // يد التحكم
    {"timer", "\xD9\x85\xD8\xA4\xD9\x82\xD8\xAA"},                          // مؤقت
    {"trophy.fill", "\xD9\x83\xD8\xA3\xD8\xB3"},                            // كأس
    {"eye.fill", "\xD8\xB9\xD9\x8A\xD9\x86"},                               // عين
    {"xmark", "\xD8\xB9\xD9\x84\xD8\xA7\xD9\x85\xD8\xA9 \xD8\xAE\xD8\xB7\xD8\xA3"},  // علامة خطأ
};

std::optional<Rect> intersection(const Rect& a, const Rect& b) {
  const double x = std::max(a.x, b.x);
  const double y = std::max(a.y, b.y);
  const double right = std::min(a.maxX(), b.maxX());
  const double bottom = std::min(a.maxY(), b.maxY());
  if (right <= x || bottom <= y) return std::nullopt;
  return Rect{x, y, right - x, bottom - y};
}

// Top to bottom, and within one line leading to trailing, which right to left is from the
// right edge: an element whose vertical middle lies within the first element of a line stands
// on that line. Elements on one line keep their tree order where they start at one edge.
template <class T, class FrameOf>
void sortInReadingOrder(std::vector<T>& items, FrameOf frameOf) {
  std::stable_sort(items.begin(), items.end(),
                   [&](const T& a, const T& b) { return frameOf(a).y < frameOf(b).y; });
  for (std::size_t first = 0; first < items.size();) {
    const Rect& head = frameOf(items[first]);
    std::size_t end = first + 1;
    while (end < items.size()) {
      const Rect& next = frameOf(items[end]);
      const double middle = next.y + next.height / 2;
      if (middle < head.y || middle > head.maxY()) break;
      ++end;
    }
    std::stable_sort(items.begin() + static_cast<std::ptrdiff_t>(first),
                     items.begin() + static_cast<std::ptrdiff_t>(end),
                     [&](const T& a, const T& b) { return frameOf(a).maxX() > frameOf(b).maxX(); });
    first = end;
  }
}

class TreeReader {
 public:
  explicit TreeReader(const FaceLayout& layout) : layout_(layout) {
    const Size face = layout.face().size;
    sight_ = Rect{0, 0, face.width, face.height};
  }

  std::vector<AccessibilityElement> read(const Element& root) && {
    visit(root, sight_);
    return std::move(elements_);
  }

 private:
  void visit(const Element& element, const Rect& sight) {
    switch (element.kind) {
      case ElementKind::text:
      case ElementKind::label:
        if (element.text) add(element, AccessibilityRole::text, element.text->shown(), sight);
        return;
      case ElementKind::image:
        add(element, AccessibilityRole::image, symbolName(element.systemName), sight);
        return;
      case ElementKind::button:
        add(element, AccessibilityRole::button, buttonLabel(element), sight);
        return;
      case ElementKind::circle:
      case ElementKind::roundedRectangle:
        return;
      case ElementKind::scrollView: {
        std::optional<Rect> inside = sight;
        for (const ScrollViewLayout& scroll : layout_.scrollViews()) {
          if (scroll.identity == element.identity) inside = intersection(sight, scroll.viewport);
        }
        for (const Element& child : element.children) visit(child, inside.value_or(Rect{}));
        return;
      }
      default:
        for (const Element& child : element.children) visit(child, sight);
        return;
    }
  }

  // What a button's label shows, in reading order: its texts, label titles and lone symbols.
  std::string buttonLabel(const Element& button) const {
    std::vector<std::pair<Rect, std::string>> parts;
    collectParts(button, parts);
    sortInReadingOrder(parts, [](const auto& part) -> const Rect& { return part.first; });
    std::string label;
    for (const auto& [frame, text] : parts) {
      if (text.empty()) continue;
      if (!label.empty()) label += ", ";
      label += text;
    }
    return label;
  }

  void collectParts(const Element& element,
                    std::vector<std::pair<Rect, std::string>>& parts) const {
    const auto frame = [&] { return layout_.frameOf(element).value_or(Rect{}); };
    if ((element.kind == ElementKind::text || element.kind == ElementKind::label) && element.text) {
      parts.emplace_back(frame(), element.text->shown());
      return;
    }
    if (element.kind == ElementKind::image) {
      parts.emplace_back(frame(), symbolName(element.systemName));
      return;
    }
    for (const Element& child : element.children) collectParts(child, parts);
  }

  void add(const Element& element, AccessibilityRole role, std::string label, const Rect& sight) {
    AccessibilityElement added;
    added.role = role;
    added.label = std::move(label);
    added.traits = {role == AccessibilityRole::button  ? "button"
                    : role == AccessibilityRole::image ? "image"
                                                       : "staticText"};
    added.frame = layout_.frameOf(element).value_or(Rect{});
    added.showing = intersection(added.frame, sight).has_value();
    added.element = &element;
    elements_.push_back(std::move(added));
  }

  const FaceLayout& layout_;
  Rect sight_;
  std::vector<AccessibilityElement> elements_;
};

}  // namespace

std::string_view roleName(AccessibilityRole role) {
  switch (role) {
    case AccessibilityRole::text:
      return "text";
    case AccessibilityRole::button:
      return "button";
    case AccessibilityRole::image:
      return "image";
  }
  return "text";
}

std::string symbolName(std::string_view systemName) {
  for (const NamedSymbol& symbol : kSymbolNames) {
    if (symbol.systemName == systemName) return std::string(symbol.name);
  }
  return std::string(systemName);
}

std::vector<AccessibilityElement> accessibilityElements(const FaceLayout& layout,
                                                        std::string_view time) {
  std::vector<AccessibilityElement> elements;
  if (const LayoutNode* band = layout.time(); band != nullptr && !time.empty()) {
    AccessibilityElement clock;
    clock.label = std::string(time);
    clock.traits = {"staticText"};
    clock.frame = band->frame;
    elements.push_back(std::move(clock));
  }
  const Element* root = layout.root().element;
  if (root == nullptr) return elements;
  std::vector<AccessibilityElement> face = TreeReader(layout).read(*root);
  sortInReadingOrder(face, [](const AccessibilityElement& e) -> const Rect& { return e.frame; });
  for (AccessibilityElement& element : face) elements.push_back(std::move(element));
  return elements;
}

}  // namespace dunvel
