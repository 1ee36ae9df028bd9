#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "render/Geometry.h"
#include "render/ShapedText.h"
#include "views/toolkit/Axis.h"
#include "views/toolkit/Color.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/Font.h"
#include "views/toolkit/LayoutDirection.h"
#include "views/toolkit/TextAlignment.h"

namespace dunvel {

// What an element inherits from the modifiers around it and its ancestors.
struct LayoutEnvironment {
  std::optional<Font> font;
  std::optional<Color> foregroundColor;
  std::optional<Color> tint;
  std::optional<int> lineLimit;
  TextAlignment textAlignment = TextAlignment::leading;
  LayoutDirection direction = LayoutDirection::leftToRight;
  // Inside a button's label, where texts and symbols take the button's colours.
  bool inButton = false;

  friend bool operator==(const LayoutEnvironment&, const LayoutEnvironment&) = default;
};

// What a box outside any element inherits: nothing.
inline const LayoutEnvironment kNoLayoutEnvironment{};

// One box of the laid-out tree. An element becomes a chain of boxes: its modifiers that take
// room or paint (padding, frame, background, clip), outermost first, around the box of its kind.
struct LayoutNode {
  enum class Kind {
    vstack,
    hstack,
    scrollView,
    spacer,
    text,
    symbol,
    shape,
    button,
    container,
    padding,
    fixedFrame,
    flexibleFrame,
    background,
    clip,
  };

  Kind kind = Kind::container;
  const Element* element = nullptr;
  // For padding, frames, background and clip: the modifier this box stands for.
  const Modifier* modifier = nullptr;
  // Where the element stands in the tree, depth first (the root is 0), and the modifier's
  // place among its element's: what finds them again in another tree of the same shape.
  std::uint32_t elementIndex = 0;
  std::uint32_t modifierIndex = 0;
  // Shared by the boxes that inherit alike (owned by the layout): a row's boxes do not each
  // carry a copy.
  const LayoutEnvironment* environment = &kNoLayoutEnvironment;
  std::vector<LayoutNode*> children;
  // The axis a stack lays its children along; for a spacer, the axis of the stack it stands in
  // (vertical anywhere else), which it stretches along.
  Axis axis = Axis::vertical;
  // Spacing of a stack, resolved.
  double spacing = 0.0;
  // A spacer's minimum length along its axis, resolved.
  double minLength = 0.0;
  // Whether the box is placed with its parent even out of sight: a button or a scroll view is
  // among the boxes under it, itself included (taps and scrolls find them), or a clip shape is
  // around it (painting the clip looks at every box inside).
  bool alwaysPlaced = false;
  // Whether a scroll view is among the boxes under it, itself included: only then may a box
  // inside it stand outside its frame (the content a scroll view shows at an offset).
  bool holdsScrollView = false;
  // Symbol glyph text, for a symbol box.
  std::string symbolText;

  // Results of layout.
  Rect frame;
  // The placing that last set frame (LayoutTree::placing): a box of an earlier one stands where
  // that one put it, inside a box the latest placing left out of sight.
  std::uint32_t placedIn = 0;
  // For a box left out of sight with its inner boxes not placed yet: where it stands in
  // LayoutTree::deferred; kInsidePlaced otherwise.
  static constexpr std::uint32_t kInsidePlaced = UINT32_MAX;
  std::uint32_t deferredAt = kInsidePlaced;
  const ShapedText* shaped = nullptr;
  // A scroll view's content height and the offset it shows.
  double contentHeight = 0.0;
  double scrollOffset = 0.0;

  // Sizes already computed for proposals, so stacks can ask their children more than once.
  struct Measured {
    double width;
    double height;
    Size size;
  };
  static constexpr std::size_t kMeasuredKept = 4;
  std::array<Measured, kMeasuredKept> measured{};
  std::size_t measuredCount = 0;
  // Whether it was measured for more proposals than it keeps.
  bool measuredMore = false;
};

}  // namespace dunvel
