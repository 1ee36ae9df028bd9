#pragma once

#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "render/ButtonHit.h"
#include "render/FaceSize.h"
#include "render/Geometry.h"
#include "render/LayoutBuilder.h"
#include "render/LayoutNode.h"
#include "render/LayoutTree.h"
#include "render/ScrollViewLayout.h"
#include "render/TextEngine.h"
#include "views/toolkit/Element.h"

namespace dunvel {

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

  const FaceMetrics& face() const { return tree_.face; }
  // The elements laid out, in sight or not, counted without placing any.
  std::size_t elementCount() const { return tree_.outerBoxes.size(); }
  const LayoutNode& root() const {
    builder_.placeDeferred();
    return *tree_.root;
  }
  // The root as painting needs it: a box out of sight, with no button or scroll view inside,
  // has its own frame but its inner boxes may still stand where an earlier placing put them
  // (they are placed on the first question about them, or by root()).
  const LayoutNode& placedRoot() const { return *tree_.root; }
  // Places the boxes inside node, a box of placedRoot()'s tree whose own frame is placed, when
  // they were left out of sight: a walk down from placedRoot() that calls this on each box
  // before looking inside it sees every box where root() would, and places no box it skips.
  void placeInside(const LayoutNode& node) const { builder_.placeInside(node); }
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

  const std::vector<ScrollViewLayout>& scrollViews() const { return tree_.scrollViews; }
  const std::vector<ButtonHit>& buttons() const { return tree_.buttons; }
  // The frontmost button under a point of the face, or null.
  const Element* buttonAt(Point point) const;
  // The innermost scroll view under a point, or null.
  const ScrollViewLayout* scrollViewAt(Point point) const;

 private:
  void layOutTime(std::string_view time);
  // The face below the time band, and where content of a size stands in it.
  Rect safeArea() const;
  Rect contentFrame(Size size) const;
  // Forgets what the boxes among changed, and every box around them, measured; whether n
  // holds one of them.
  bool forgetAround(LayoutNode& n, const std::vector<const LayoutNode*>& changed);
  // The element → box lookups, made on the first question.
  void index() const;

  // The questions asked of a layout complete it as they need: the boxes left out of sight are
  // placed, and their texts shaped, on the first question about them. That changes no answer
  // (they stand where the layout put them), so the questions are const and what they complete
  // is mutable.
  mutable LayoutTree tree_;
  mutable LayoutBuilder builder_;
  LayoutNode time_;
  LayoutEnvironment timeEnvironment_;
  TextEngine& engine_;
  mutable std::unordered_map<const Element*, const LayoutNode*> outer_;
  mutable std::unordered_map<const Element*, const LayoutNode*> textNodes_;
  mutable bool indexed_ = false;
};

}  // namespace dunvel
