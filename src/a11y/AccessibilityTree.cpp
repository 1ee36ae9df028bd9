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

// Reads the elements from the layout's boxes, down from its root: each element's outermost box
// is the first of its own below another element's. With `near`, a box that does not reach into
// it is skipped whole, and so is not placed: what is read of a long list is the rows near sight.
// Everything under a box stands within its frame, but for a scroll view's content: a box that
// holds one is never skipped.
class TreeReader {
 public:
  TreeReader(const FaceLayout& layout, std::optional<Rect> near) : layout_(layout), near_(near) {
    const Size face = layout.face().size;
    sight_ = Rect{0, 0, face.width, face.height};
  }

  std::vector<AccessibilityElement> read() {
    visit(layout_.placedRoot(), nullptr, sight_);
    return std::move(elements_);
  }
  // Whether a box was skipped: the reading then holds less than the whole face.
  bool skipped() const { return skipped_; }

 private:
  static bool reaches(const Rect& frame, const Rect& area) {
    // Edges count: an empty text on a row near sight is read with its row.
    return frame.maxX() >= area.x && frame.x <= area.maxX() && frame.maxY() >= area.y &&
           frame.y <= area.maxY();
  }

  void visit(const LayoutNode& node, const Element* around, Rect sight) {
    if (near_ && !node.holdsScrollView && !reaches(node.frame, *near_)) {
      skipped_ = true;
      return;
    }
    layout_.placeInside(node);
    if (node.element != nullptr && node.element != around) {
      const Element& element = *node.element;
      switch (element.kind) {
        case ElementKind::text:
        case ElementKind::label:
          if (element.text)
            add(element, node, AccessibilityRole::text, element.text->shown(), sight);
          return;
        case ElementKind::image:
          add(element, node, AccessibilityRole::image, symbolName(element.systemName), sight);
          return;
        case ElementKind::button:
          add(element, node, AccessibilityRole::button, buttonLabel(node), sight);
          return;
        case ElementKind::circle:
        case ElementKind::roundedRectangle:
          return;
        case ElementKind::scrollView:
          for (const ScrollViewLayout& scroll : layout_.scrollViews()) {
            if (scroll.identity == element.identity) sight = sight.intersection(scroll.viewport);
          }
          break;
        default:
          break;
      }
    }
    for (const LayoutNode* child : node.children) visit(*child, node.element, sight);
  }

  // What a button's label shows, in reading order: its texts, label titles and lone symbols.
  std::string buttonLabel(const LayoutNode& button) const {
    std::vector<std::pair<Rect, std::string>> parts;
    collectParts(button, nullptr, parts);
    sortInReadingOrder(parts, [](const auto& part) -> const Rect& { return part.first; });
    std::string label;
    for (const auto& [frame, text] : parts) {
      if (text.empty()) continue;
      if (!label.empty()) label += ", ";
      label += text;
    }
    return label;
  }

  void collectParts(const LayoutNode& node, const Element* around,
                    std::vector<std::pair<Rect, std::string>>& parts) const {
    layout_.placeInside(node);
    if (node.element != nullptr && node.element != around) {
      const Element& element = *node.element;
      if ((element.kind == ElementKind::text || element.kind == ElementKind::label) &&
          element.text) {
        parts.emplace_back(node.frame, element.text->shown());
        return;
      }
      if (element.kind == ElementKind::image) {
        parts.emplace_back(node.frame, symbolName(element.systemName));
        return;
      }
    }
    for (const LayoutNode* child : node.children) collectParts(*child, node.element, parts);
  }

  void add(const Element& element, const LayoutNode& outer, AccessibilityRole role,
           std::string label, const Rect& sight) {
    AccessibilityElement added;
    added.role = role;
    added.label = std::move(label);
    added.traits = {role == AccessibilityRole::button  ? "button"
                    : role == AccessibilityRole::image ? "image"
                                                       : "staticText"};
    added.frame = outer.frame;
    added.showing = added.frame.overlaps(sight);
    added.element = &element;
    elements_.push_back(std::move(added));
  }

  const FaceLayout& layout_;
  std::optional<Rect> near_;
  Rect sight_;
  bool skipped_ = false;
  std::vector<AccessibilityElement> elements_;
};

// The elements a reading of the whole face gives, without laying anything out: to count those
// a bounded reading left out.
std::size_t countElements(const Element& element) {
  switch (element.kind) {
    case ElementKind::text:
    case ElementKind::label:
      return element.text ? 1 : 0;
    case ElementKind::image:
    case ElementKind::button:
      return 1;
    case ElementKind::circle:
    case ElementKind::roundedRectangle:
      return 0;
    default: {
      std::size_t count = 0;
      for (const Element& child : element.children) count += countElements(child);
      return count;
    }
  }
}

// The time, then the elements read, in reading order.
std::vector<AccessibilityElement> inReadingOrder(const FaceLayout& layout, std::string_view time,
                                                 std::vector<AccessibilityElement> face) {
  std::vector<AccessibilityElement> elements;
  elements.reserve(face.size() + 1);
  if (const LayoutNode* band = layout.time(); band != nullptr && !time.empty()) {
    AccessibilityElement clock;
    clock.label = std::string(time);
    clock.traits = {"staticText"};
    clock.frame = band->frame;
    elements.push_back(std::move(clock));
  }
  sortInReadingOrder(face, [](const AccessibilityElement& e) -> const Rect& { return e.frame; });
  for (AccessibilityElement& element : face) elements.push_back(std::move(element));
  return elements;
}

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
  if (layout.placedRoot().element == nullptr) return inReadingOrder(layout, time, {});
  return inReadingOrder(layout, time, TreeReader(layout, std::nullopt).read());
}

std::vector<AccessibilityElement> accessibilityElementsNear(const FaceLayout& layout,
                                                            std::string_view time,
                                                            const Rect& near) {
  if (layout.placedRoot().element == nullptr) return inReadingOrder(layout, time, {});
  return inReadingOrder(layout, time, TreeReader(layout, near).read());
}

AccessibilityReading readAccessibility(const FaceLayout& layout, std::string_view time,
                                       std::size_t most) {
  AccessibilityReading reading;
  const LayoutNode& root = layout.placedRoot();
  if (root.element == nullptr) {
    reading.elements = inReadingOrder(layout, time, {});
    return reading;
  }
  // Reading order runs down the face: the first elements are those above some depth. The
  // depth doubles until the reading holds more than asked, or the whole face, with a few lines
  // to spare, since an element just past the depth may share a line with one above it.
  constexpr std::size_t kSpare = 64;
  constexpr double kFar = 1e12;
  const double height = layout.face().size.height;
  for (double depth = 8 * height;; depth *= 2) {
    TreeReader reader(layout, Rect{-kFar, -kFar, 2 * kFar, kFar + depth});
    std::vector<AccessibilityElement> face = reader.read();
    if (!reader.skipped() || face.size() >= most + kSpare || depth > kFar) {
      reading.elements = inReadingOrder(layout, time, std::move(face));
      break;
    }
  }
  if (reading.elements.size() > most) {
    const bool timeRead = layout.time() != nullptr && !time.empty();
    const std::size_t all = countElements(*root.element) + (timeRead ? 1 : 0);
    reading.elements.resize(most);
    reading.leftOut = all > most ? all - most : 0;
  }
  return reading;
}

}  // namespace dunvel
