// The layout's passes are described in LayoutBuilder.h; these are the layout's own answers and
// its placing again for other offsets, times and trees.
#include "render/FaceLayout.h"

#include <algorithm>
#include <cmath>

#include "render/LayoutBuilder.h"

namespace dunvel {

FaceLayout::FaceLayout(const Element& tree, const FaceMetrics& face, TextEngine& engine,
                       const ScrollOffsets& offsets, std::string_view time)
    : face_(face), engine_(&engine) {
  LayoutBuilder builder(*this, engine, offsets);
  root_ = builder.build(tree, &kNoLayoutEnvironment);
  LayoutBuilder::markAlwaysPlaced(*root_, false);
  const Rect safe = safeArea();
  Size size = builder.measure(*root_, safe.width, safe.height);
  if (size.height > safe.height + 1e-6) {
    builder.letWrappingTextsGiveWay();
    size = builder.measure(*root_, safe.width, safe.height);
  }
  builder.place(*root_, contentFrame(size), Rect{0.0, 0.0, face.size.width, face.size.height});
  if (!time.empty()) layOutTime(time, engine);
}

Rect FaceLayout::safeArea() const {
  return Rect{0.0, face_.safeAreaTop, face_.size.width,
              layout::nonNegative(face_.size.height - face_.safeAreaTop)};
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
    keptSizes_.erase(&n);
  }
  return holds;
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

  // A new text that measures as the old one did leaves every other box where it was. Else what
  // the new texts and the boxes around them measured is forgotten and the tree measured again:
  // every other box answers the proposals it was asked before from what it kept.
  LayoutBuilder builder(*this, *engine_, offsets);
  std::vector<const LayoutNode*> changed;
  bool measureAlike = true;
  for (const auto& [element, node] : textList_) {
    if (std::find(retexted.begin(), retexted.end(), node->elementIndex) == retexted.end()) continue;
    changed.push_back(node);
    if (measureAlike && !builder.measuresAsBefore(*const_cast<LayoutNode*>(node))) {
      measureAlike = false;
    }
  }
  if (!measureAlike) {
    // Texts that gave way to fit the face were measured twice over: laid out anew.
    if (wrappingTextsGiveWay_) return false;
    forgetAround(*root_, changed);
    const Rect safe = safeArea();
    const Size size = builder.measure(*root_, safe.width, safe.height);
    if (size.height > safe.height + 1e-6) return false;
    root_->frame = contentFrame(size);
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
  time_.frame = Rect{x, layout::nonNegative(face_.safeAreaTop - shaped.size.height) / 2,
                     shaped.size.width, shaped.size.height};
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
  LayoutBuilder builder(const_cast<FaceLayout&>(*this), *engine_, layout::kNoOffsets);
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
  LayoutBuilder builder(const_cast<FaceLayout&>(*this), *engine_, layout::kNoOffsets);
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
