#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "render/FaceSize.h"
#include "render/Geometry.h"
#include "render/LayoutNode.h"
#include "views/toolkit/Element.h"

namespace dunvel {

class TextEngine;

// Scroll offsets in points, by the identity of the scroll view they belong to. A scroll view
// not named here shows its content from the top.
using ScrollOffsets = std::map<std::string, double>;

// A scroll view as laid out: where it shows, how tall its content is, and the offset it shows
// (clamped to the content).
struct ScrollViewLayout {
  std::string identity;
  Rect viewport;
  double contentWidth = 0.0;
  double contentHeight = 0.0;
  double offset = 0.0;
  double maxOffset() const {
    return contentHeight > viewport.height ? contentHeight - viewport.height : 0.0;
  }
};

// A button where a tap reaches it: its frame as far as it is visible.
struct ButtonHit {
  const Element* element = nullptr;
  Rect visible;
};

// The element tree laid out on a face, in points: the parent proposes a size, the child
// chooses its own, the parent places it. Element pointers are the tree's: the layout is valid
// as long as the tree it was made from.
class FaceLayout {
 public:
  // Lays out the tree on the face below its time band, and time (when not empty) in the band's
  // trailing corner. Texts are shaped by engine, which must outlive the layout.
  FaceLayout(const Element& tree, const FaceMetrics& face, TextEngine& engine,
             const ScrollOffsets& offsets = {}, std::string_view time = {});
  FaceLayout(const FaceLayout&) = delete;
  FaceLayout& operator=(const FaceLayout&) = delete;

  const FaceMetrics& face() const { return face_; }
  const LayoutNode& root() const {
    placeDeferred();
    return *root_;
  }
  // The root as painting needs it: a box out of sight, with no button or scroll view inside,
  // has its own frame but its inner boxes may still stand where an earlier placing put them
  // (they are placed on the first question about them, or by root()).
  const LayoutNode& placedRoot() const { return *root_; }
  // The time in the band at the top, a text box of no element; null when none was given.
  const LayoutNode* time() const { return time_.shaped ? &time_ : nullptr; }

  // The element's frame with all its modifiers (padding, frame, background) applied, in face
  // coordinates at scroll offset as laid out; nothing for an element not in the tree.
  std::optional<Rect> frameOf(const Element& element) const;
  // For a text (or a label's title): the lines it was laid out on and whether it was cut.
  std::optional<int> linesOf(const Element& element) const;
  bool isTruncated(const Element& element) const;
  // A text or symbol box's shaped text: the one it was placed with, or for a box out of sight
  // when placed (left unshaped, node.shaped null), shaped now. Null for a text offered less
  // than one line.
  const ShapedText* shapedText(const LayoutNode& node) const;

  // Places the boxes again for other scroll offsets, without measuring anything again: what a
  // scroll changes. The same as a new layout of the tree with these offsets; the engine must
  // be the one the layout was made with, and the tree unchanged.
  void placeAgain(const ScrollOffsets& offsets);
  // Lays out another time in the band (empty for none), leaving every other box as it is.
  void placeTime(std::string_view time);
  // Makes this the layout of another tree, with these offsets, when the tree differs from the
  // last one only in texts: when they measure as the old ones did (a clock's next second) only
  // they are shaped and nothing else is measured; otherwise only they and the boxes around
  // them are measured again. False, with the layout unusable, when the tree differs otherwise
  // or texts had to give way to fit the face: it must be laid out anew. The last tree need
  // not exist.
  bool relayText(const Element& tree, const ScrollOffsets& offsets);

  const std::vector<ScrollViewLayout>& scrollViews() const { return scrollViews_; }
  const std::vector<ButtonHit>& buttons() const { return buttons_; }
  // The frontmost button under a point of the face, or null.
  const Element* buttonAt(Point point) const;
  // The innermost scroll view under a point, or null.
  const ScrollViewLayout* scrollViewAt(Point point) const;

 private:
  friend class LayoutBuilder;

  static constexpr std::size_t kNodesPerBlock = 64;
  LayoutNode& newNode();
  void forgetMeasurements();
  // Places the boxes left out of sight (see placedRoot()).
  void placeDeferred() const;
  void layOutTime(std::string_view time, TextEngine& engine);
  // The face below the time band, and where content of a size stands in it.
  Rect safeArea() const;
  Rect contentFrame(Size size) const;
  // Forgets what the boxes among changed, and every box around them, measured; whether n
  // holds one of them.
  bool forgetAround(LayoutNode& n, const std::vector<const LayoutNode*>& changed);
  // The element → box lookups, made on the first question.
  void index() const;

  FaceMetrics face_;
  TextEngine* engine_ = nullptr;
  // Whether texts that wrap may give way (see LayoutBuilder::letWrappingTextsGiveWay).
  bool wrappingTextsGiveWay_ = false;
  // The boxes, in blocks that never move.
  std::vector<std::unique_ptr<LayoutNode[]>> blocks_;
  std::size_t usedInBlock_ = 0;
  LayoutNode* root_ = nullptr;
  LayoutNode time_;
  LayoutEnvironment timeEnvironment_;
  // The environments the boxes point to; addresses never move.
  std::deque<LayoutEnvironment> environments_;
  // Each element's outermost box and each text's box, in the order laid out.
  std::vector<std::pair<const Element*, const LayoutNode*>> outerList_;
  std::vector<std::pair<const Element*, const LayoutNode*>> textList_;
  mutable std::unordered_map<const Element*, const LayoutNode*> outer_;
  mutable std::unordered_map<const Element*, const LayoutNode*> textNodes_;
  mutable bool indexed_ = false;
  std::vector<ScrollViewLayout> scrollViews_;
  std::vector<ButtonHit> buttons_;
  // The tree's elements as laid out, depth first: each one's look and number of children, to
  // tell what the next tree changed. Not kept for trees of more elements than this.
  static constexpr std::size_t kLooksKeptUpTo = 1024;
  struct KeptLook {
    ElementLook look;
    std::size_t children = 0;
  };
  std::optional<std::vector<KeptLook>> looks_{std::in_place};
  std::size_t elementCount_ = 0;
  // The sizes of a long stack's children for the proposal it was last placed in.
  struct KeptSizes {
    double width = 0.0;
    double height = 0.0;
    std::vector<Size> sizes;
  };
  std::unordered_map<const LayoutNode*, KeptSizes> keptSizes_;
  // Boxes placed out of sight whose inner boxes are not placed yet, each with its clip.
  mutable std::vector<std::pair<LayoutNode*, Rect>> deferred_;
};

}  // namespace dunvel
