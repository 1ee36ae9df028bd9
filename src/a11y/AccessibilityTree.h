#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "a11y/AccessibilityElement.h"
#include "render/FaceLayout.h"

namespace dunvel {

// The face's elements as a screen reader reads them, in reading order, from a layout of the
// element tree (the tree must outlive the result's element pointers). time is the text of the
// band at the top, read first; empty for none.
//
// Derived as the watch's platform derives it:
// - a Text is a static text labelled with what it shows;
// - a Label is labelled by its title; its icon is no element of its own;
// - an Image of a system symbol standing alone is an image labelled with a short Arabic name of
//   the symbol (a table of our own, symbolName());
// - shapes (a Circle, a RoundedRectangle behind something) are no elements;
// - a Button is one element with the button trait, labelled with the texts its label shows, in
//   reading order, joined with ", "; activating it is the tap;
// - a scroll view gives all its elements, those scrolled out of sight too;
// - reading order is top to bottom, and within one line leading to trailing: right to left.
// The time in the band is read first, as the watch reads its own status bar (our reading).
std::vector<AccessibilityElement> accessibilityElements(const FaceLayout& layout,
                                                        std::string_view time);

// The elements whose boxes reach into `near` (face coordinates), and the time, read as above
// without placing what lies beyond it: what a reader attached to a window is given of a long
// list, sight and a margin around it.
std::vector<AccessibilityElement> accessibilityElementsNear(const FaceLayout& layout,
                                                            std::string_view time,
                                                            const Rect& near);

// The first `most` elements in reading order, and how many follow them: a whole reading of a
// long board, bounded.
struct AccessibilityReading {
  std::vector<AccessibilityElement> elements;
  std::size_t leftOut = 0;
};
AccessibilityReading readAccessibility(const FaceLayout& layout, std::string_view time,
                                       std::size_t most);

// The short Arabic name a symbol is read as: "timer" → "مؤقت". The symbol's own name for one the
// table does not hold.
std::string symbolName(std::string_view systemName);

}  // namespace dunvel
