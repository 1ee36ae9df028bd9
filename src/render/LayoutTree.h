#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "render/ButtonHit.h"
#include "render/FaceSize.h"
#include "render/Geometry.h"
#include "render/LayoutNode.h"
#include "render/LayoutNodePool.h"
#include "render/ScrollViewLayout.h"
#include "render/WrappingTexts.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/ElementLook.h"

namespace dunvel {

// The boxes of an element tree laid out on a face, and what laying them out noted on the way:
// the data a FaceLayout answers from and a LayoutBuilder builds, measures and places.
struct LayoutTree {
  explicit LayoutTree(const FaceMetrics& face) : face(face) {}

  FaceMetrics face;
  // Set when the content did not fit the face and was measured again (see WrappingTexts).
  WrappingTexts wrappingTexts = WrappingTexts::keepFirstLine;
  LayoutNodePool nodes;
  LayoutNode* root = nullptr;
  // The environments the boxes point to; addresses never move.
  std::deque<LayoutEnvironment> environments;
  // Each element's outermost box and each text's box, in the order laid out.
  std::vector<std::pair<const Element*, LayoutNode*>> outerBoxes;
  std::vector<std::pair<const Element*, LayoutNode*>> textBoxes;
  // What placing found for taps and scrolling.
  std::vector<ScrollViewLayout> scrollViews;
  std::vector<ButtonHit> buttons;

  // The tree's elements as laid out, depth first: each one's look and number of children, to
  // tell what the next tree changed. Not kept for trees of more elements than this.
  static constexpr std::size_t kLooksKeptUpTo = 1024;
  struct KeptLook {
    ElementLook look;
    std::size_t children = 0;
  };
  std::optional<std::vector<KeptLook>> looks{std::in_place};
  std::size_t elementCount = 0;

  // The sizes of a long stack's children for the proposal it was last placed in.
  struct KeptSizes {
    double width = 0.0;
    double height = 0.0;
    std::vector<Size> sizes;
  };
  std::unordered_map<const LayoutNode*, KeptSizes> keptSizes;

  // Boxes placed out of sight whose inner boxes are not placed yet, each with its clip; null
  // for one placed since.
  std::vector<std::pair<LayoutNode*, Rect>> deferred;
  // Counts the placings of the tree (each scroll places it again): what LayoutNode::placedIn
  // is compared with.
  std::uint32_t placing = 0;
};

}  // namespace dunvel
