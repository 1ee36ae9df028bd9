#pragma once

// The layout runs in three passes over boxes made from the element tree:
//   build    the element tree becomes boxes (LayoutNode): each element a chain of boxes, its
//            modifiers that take room or paint outermost, around the box of its kind; what
//            the modifiers pass down (font, colours, direction) is an environment shared by the
//            boxes that inherit alike. A stack and the spacers in it know the stack's axis.
//   measure  a box is offered a size (width × height, either may be unbounded) and answers with
//            its own, asking its children as it needs; answers are kept per proposal. A stack
//            sizes its children along its axis in steps (see stackSizes). When the content does
//            not fit the face, texts that wrap give way and everything is measured again.
//   place    from the root down, each box gets its frame, its children theirs inside it; texts
//            are shaped for the frame they got, buttons and scroll views are noted for taps and
//            scrolling, and each scroll view's offset is clamped to its content.
// Then the time is laid out in the band at the top, outside the tree. A tree that differs from
// the last only in texts taking the same room is placed again in the last layout
// (FaceLayout::relayText), without building or measuring.
//
// The builder's own header, for FaceLayout.cpp, LayoutBuilder.cpp (building),
// LayoutBuilderPlace.cpp (measuring and placing) and LayoutBuilderStacks.cpp (stacks).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "render/LayoutTree.h"
#include "render/Scratch.h"
#include "render/ScrollViewLayout.h"
#include "render/TextEngine.h"
#include "render/TextRequest.h"

namespace dunvel {

// Builds the boxes of an element tree into a layout tree, measures them for proposals and
// places them. One builder serves its tree for the tree's life.
class LayoutBuilder {
 public:
  LayoutBuilder(LayoutTree& tree, TextEngine& engine) : tree_(tree), engine_(engine) {}
  LayoutBuilder(const LayoutBuilder&) = delete;
  LayoutBuilder& operator=(const LayoutBuilder&) = delete;

  // The boxes of element e, inheriting outer; noted in the tree as they are made.
  LayoutNode* build(const Element& e, const LayoutEnvironment* outer);
  Size measure(LayoutNode& n, double w, double h);
  // A text or symbol box shaped for its frame; null for a text offered less than one line.
  const ShapedText* shapedText(const LayoutNode& n, const Rect& frame);
  // Places box n at rect and the boxes inside it, clipped to clip, each scroll view at its
  // offset. What is out of sight is left for placeDeferred (see LayoutNode::alwaysPlaced).
  void place(LayoutNode& n, Rect rect, Rect clip, const ScrollOffsets& offsets);
  // Places the boxes left out of sight (the tree's deferred ones) as they would have been at
  // once: the same frames and clips, and nothing inside them adds a button or a scroll view.
  void placeDeferred();
  // Places the boxes inside n when it is one of those left out of sight, as placeDeferred
  // would: what reading one row of a long list needs, without placing every other row.
  void placeInside(const LayoutNode& n);

  // What is around a box: inside a clip shape, every box is placed even out of sight, since
  // painting the clip looks at them all.
  enum class Enclosure { none, clipShape };
  // Marks the boxes placed even out of sight (LayoutNode::alwaysPlaced) and those holding a
  // scroll view (LayoutNode::holdsScrollView), n standing in enclosure; whether one that must be
  // placed for a tap or a scroll is under n.
  static bool markAlwaysPlaced(LayoutNode& n, Enclosure enclosure);
  // Whether a text box measures for every proposal it was measured for as it did, now that
  // its element (of the same look but for the text) shows another text.
  bool measuresAsBefore(LayoutNode& n);
  // From now on texts that wrap may show no line at all when offered less than one; sizes
  // measured before are forgotten.
  void letWrappingTextsGiveWay();

 private:
  // Whether boxes out of sight are left for later or placed now.
  enum class OutOfSight { deferred, placed };

  void placeBox(LayoutNode& n, Rect rect, Rect clip);
  LayoutNode* add(LayoutNode::Kind kind, const Element& e, const LayoutEnvironment* env);
  static bool changesEnvironment(const Modifier& m);
  // One stored environment for each value in use: the rows of a list repeat the same few, so
  // the last ones made are looked at first.
  const LayoutEnvironment* shared(const LayoutEnvironment& env);
  static void applyEnvironment(const Modifier& m, LayoutEnvironment& env);
  LayoutNode* buildCore(const Element& e, const LayoutEnvironment* env);
  void addChildren(LayoutNode& node, const Element& e, const LayoutEnvironment* env);
  LayoutNode* stackOf(std::vector<LayoutNode*> children, const Element& e,
                      const LayoutEnvironment* env);
  // A stack's axis, which the spacers standing in it stretch along.
  static void setAxis(LayoutNode& stack, Axis axis);
  // A text offered width × height: wrapped to the width, and cut to the lines that fit the
  // height (at least one), so that it never draws outside the frame it is given.
  TextRequest textRequest(const LayoutNode& n, double width, double height) const;
  TextRequest symbolRequest(const LayoutNode& n) const;
  Size flexibleProposal(const LayoutNode& n, double w, double h) const;
  static double frameLength(double child, double proposed, const std::optional<double>& lo,
                            const std::optional<double>& hi);
  Size compute(LayoutNode& n, double w, double h);
  // A child of a stack in the order the stack sizes its children, and how much it can grow
  // along the stack's axis: its length offered no limit less its length offered nothing.
  struct Slot {
    std::size_t index;
    double flexibility;
  };
  // The sizes of a stack's children for a proposal (into sizes, one per child), and the
  // stack's own size. Children that are not spacers are offered an equal share of what is left,
  // the least flexible first, so a fixed-size child takes its size and a flexible one takes the
  // rest; spacers share what remains after them (at least their minimum length).
  Size stackSizes(LayoutNode& n, double w, double h, Size* sizes);
  // The stack's spacing between its children, all told.
  static double totalSpacing(const LayoutNode& n);
  // The minimum lengths of the stack's spacers, all told.
  static double spacersMinimum(const LayoutNode& n);
  // Fills slots with the stack's children, those that are not spacers first, each group in
  // tree order; returns how many are not spacers.
  static std::size_t spacersLast(const LayoutNode& n, Slot* slots);
  // Sizes each child in [first, last) for length along the stack's axis.
  void sizeAtLength(LayoutNode& n, Slot* first, Slot* last, double length, double across,
                    Size* sizes);
  // Whether a box offered at least its natural width (its width offered no limit) at this
  // height takes exactly that size: a text of one line, a symbol, and such a box with padding,
  // a background, a clip or a fixed frame around it.
  bool keepsNaturalWidth(LayoutNode& n, double height);
  // For a row whose children in [first, last) all keep their natural width and fit in length
  // at the widest one's width each: any order of sharing out offers each child at least its
  // natural width, so each takes it (into sizes) and ordering them by flexibility, which
  // shapes every text again offered no width (wrapped at every character), is not needed.
  bool naturalWidthsFit(LayoutNode& n, Slot* first, Slot* last, double length, double height,
                        Size* sizes);
  // Orders the children in [first, last) by how much they can grow along the stack's axis,
  // the least first (children that grow alike keep their order).
  void sortByFlexibility(LayoutNode& n, Slot* first, Slot* last, double across);
  // Offers each child in [first, last), in that order, an equal share of the length not yet
  // taken; returns the length left after them all (negative when they overflow).
  double shareOut(LayoutNode& n, Slot* first, Slot* last, double remaining, double across,
                  Size* sizes);
  // The spacers in [first, last): their minimum length and share more each.
  static void stretchSpacers(const LayoutNode& n, Slot* first, Slot* last, double share,
                             Size* sizes);
  // The stack's own size: its children and spacing end to end, as thick as the thickest child.
  static Size stackSize(const LayoutNode& n, const Size* sizes);
  // The sizes of a stack's children for placing it in width × height. A long stack keeps them
  // (sizes never change once measured), so placing it again for a scroll asks its rows nothing.
  const Size* placedSizes(LayoutNode& n, double width, double height,
                          layout::Scratch<Size>& scratch);
  void placeStack(LayoutNode& n, Rect rect, Rect clip);
  void placeScrollView(LayoutNode& n, Rect rect, Rect clip);
  void placeCentered(LayoutNode& child, Rect rect, double w, double h, Rect clip);
  // Stacks with this many children keep their children's sizes between placings.
  static constexpr std::size_t kKeptFrom = 64;
  LayoutTree& tree_;
  TextEngine& engine_;
  // The offsets of the placing under way.
  const ScrollOffsets* offsets_ = nullptr;
  OutOfSight outOfSight_ = OutOfSight::deferred;
  std::array<const LayoutEnvironment*, 8> recent_{};
  // The element whose boxes are being made.
  std::uint32_t building_ = 0;
  std::size_t nextRecent_ = 0;
};

}  // namespace dunvel
