// The layout's passes are described in LayoutBuilder.h; these are the layout's own answers and
// its placing again for other offsets, times and trees.
#include "render/FaceLayout.h"

#include <algorithm>
#include <cmath>

#include "render/LayoutArithmetic.h"
#include "render/Side.h"

namespace dunvel {

FaceLayout::FaceLayout(const Element& tree, const FaceMetrics& face, TextEngine& engine,
                       const ScrollOffsets& offsets, std::string_view time)
    : tree_(face), builder_(tree_, engine), engine_(engine) {
  tree_.root = builder_.build(tree, &kNoLayoutEnvironment);
  LayoutBuilder::markAlwaysPlaced(*tree_.root, LayoutBuilder::Enclosure::none);
  const Rect safe = safeArea();
  Size size = builder_.measure(*tree_.root, safe.width, safe.height);
  if (size.height > safe.height + 1e-6) {
    builder_.letWrappingTextsGiveWay();
    size = builder_.measure(*tree_.root, safe.width, safe.height);
  }
  builder_.place(*tree_.root, contentFrame(size), Rect{0.0, 0.0, face.size.width, face.size.height},
                 offsets);
  if (!time.empty()) layOutTime(time);
}

Rect FaceLayout::safeArea() const {
  const FaceMetrics& face = tree_.face;
  return Rect{0.0, face.safeAreaTop, face.size.width,
              layout::nonNegative(face.size.height - face.safeAreaTop)};
}

Rect FaceLayout::contentFrame(Size size) const {
  // The content fills the face below the time band; what is smaller is centred in it.
  const Rect safe = safeArea();
  const double width = std::min(size.width, safe.width);
  const double height = std::min(size.height, safe.height);
  return Rect{safe.x + (safe.width - width) / 2, safe.y + (safe.height - height) / 2, width,
              height};
}

bool FaceLayout::forgetAround(LayoutNode& n, const std::vector<const LayoutNode*>& changed) {
  bool holds = std::find(changed.begin(), changed.end(), &n) != changed.end();
  for (LayoutNode* child : n.children) holds = forgetAround(*child, changed) || holds;
  if (holds) {
    n.measuredCount = 0;
    n.measuredMore = false;
    tree_.keptSizes.erase(&n);
  }
  return holds;
}

bool FaceLayout::relayText(const Element& tree, const ScrollOffsets& offsets) {
  if (!tree_.looks) return false;
  // The new tree depth first, as it was built: each element's look and number of children
  // must be the last tree's, but for the texts shown.
  std::vector<const Element*> elements;
  elements.reserve(tree_.looks->size());
  std::vector<std::uint32_t> retexted;
  bool same = true;
  const auto walk = [&](const auto& self, const Element& e) -> void {
    if (!same) return;
    const std::size_t index = elements.size();
    if (index >= tree_.looks->size() || (*tree_.looks)[index].children != e.children.size()) {
      same = false;
      return;
    }
    elements.push_back(&e);
    const ElementLook& before = (*tree_.looks)[index].look;
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
  if (!same || elements.size() != tree_.looks->size()) return false;

  // The boxes now stand for the new tree's elements (the last tree may be gone). Their shaped
  // texts are let go: the engine may since have evicted those of boxes out of sight, which
  // placing does not reach; the boxes placed below are shaped again (found in the engine).
  tree_.nodes.forEach([&elements](LayoutNode& n) {
    n.element = elements[n.elementIndex];
    if (n.modifier != nullptr) n.modifier = &n.element->modifiers[n.modifierIndex];
    n.shaped = nullptr;
  });
  for (auto& [element, node] : tree_.outerBoxes) element = elements[node->elementIndex];
  for (auto& [element, node] : tree_.textBoxes) element = elements[node->elementIndex];
  outer_.clear();
  textNodes_.clear();
  indexed_ = false;

  // A new text that measures as the old one did leaves every other box where it was. Else what
  // the new texts and the boxes around them measured is forgotten and the tree measured again:
  // every other box answers the proposals it was asked before from what it kept.
  std::vector<const LayoutNode*> changed;
  bool measureAlike = true;
  for (const auto& [element, node] : tree_.textBoxes) {
    if (std::find(retexted.begin(), retexted.end(), node->elementIndex) == retexted.end()) continue;
    changed.push_back(node);
    if (measureAlike && !builder_.measuresAsBefore(*node)) measureAlike = false;
  }
  if (!measureAlike) {
    // Texts that gave way to fit the face were measured twice over: laid out anew.
    if (tree_.wrappingTexts == WrappingTexts::giveWay) return false;
    forgetAround(*tree_.root, changed);
    const Rect safe = safeArea();
    const Size size = builder_.measure(*tree_.root, safe.width, safe.height);
    if (size.height > safe.height + 1e-6) return false;
    tree_.root->frame = contentFrame(size);
  }
  for (const std::uint32_t index : retexted)
    (*tree_.looks)[index].look.text = elements[index]->text;
  placeAgain(offsets);
  return true;
}

void FaceLayout::layOutTime(std::string_view time) {
  // White, semibold, at the body size of the case's own text size, in the band's trailing
  // corner: the top left when the face is laid out right to left.
  const FaceMetrics& face = tree_.face;
  TextRequest request;
  request.text = time;
  request.style = TextStyle::body;
  request.textSize = face.defaultTextSize;
  request.bold = true;
  request.lineLimit = 1;
  const ShapedText& shaped = engine_.shape(request);
  const LayoutDirection direction = tree_.root->environment->direction;
  const double inset = face.displayCornerRadius * design::timeTrailingInsetPerCornerRadius;
  const double x =
      trailingSide(direction) == Side::left ? inset : face.size.width - inset - shaped.size.width;
  time_.kind = LayoutNode::Kind::text;
  timeEnvironment_.direction = direction;
  time_.environment = &timeEnvironment_;
  time_.frame = Rect{x, layout::nonNegative(face.safeAreaTop - shaped.size.height) / 2,
                     shaped.size.width, shaped.size.height};
  time_.shaped = &shaped;
}

void FaceLayout::placeTime(std::string_view time) {
  time_ = LayoutNode{};
  if (!time.empty()) layOutTime(time);
}

void FaceLayout::index() const {
  if (indexed_) return;
  // An element laid out twice (it cannot be, but a later entry would have won) keeps its last.
  for (const auto& [element, node] : tree_.outerBoxes) outer_[element] = node;
  for (const auto& [element, node] : tree_.textBoxes) textNodes_[element] = node;
  indexed_ = true;
}

std::optional<Rect> FaceLayout::frameOf(const Element& element) const {
  index();
  auto found = outer_.find(&element);
  if (found == outer_.end()) return std::nullopt;
  // A box placed by the latest placing stands where it is; one inside a box left out of sight
  // is placed with every other such box first.
  if (found->second->placedIn != tree_.placing) builder_.placeDeferred();
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
  if (node.placedIn != tree_.placing) builder_.placeDeferred();
  if (node.shaped) return node.shaped;
  // Shaped as placing would have, had it been in sight.
  return builder_.shapedText(node, node.frame);
}

void FaceLayout::placeAgain(const ScrollOffsets& offsets) {
  // Every size measured stays right: scroll offsets only move boxes. The boxes, buttons and
  // scroll views are placed anew, with the same arithmetic as the first placing.
  tree_.buttons.clear();
  tree_.scrollViews.clear();
  tree_.deferred.clear();
  builder_.place(*tree_.root, tree_.root->frame,
                 Rect{0.0, 0.0, tree_.face.size.width, tree_.face.size.height}, offsets);
}

const Element* FaceLayout::buttonAt(Point point) const {
  for (auto it = tree_.buttons.rbegin(); it != tree_.buttons.rend(); ++it) {
    if (it->visible.contains(point)) return it->element;
  }
  return nullptr;
}

const ScrollViewLayout* FaceLayout::scrollViewAt(Point point) const {
  for (auto it = tree_.scrollViews.rbegin(); it != tree_.scrollViews.rend(); ++it) {
    if (it->viewport.contains(point)) return &*it;
  }
  return nullptr;
}

}  // namespace dunvel
