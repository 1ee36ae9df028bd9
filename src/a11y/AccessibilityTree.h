#pragma once

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

// The short Arabic name a symbol is read as: "timer" → "مؤقت". The symbol's own name for one the
// table does not hold.
std::string symbolName(std::string_view systemName);

}  // namespace dunvel
