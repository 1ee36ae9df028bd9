#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "render/Geometry.h"
#include "views/toolkit/Element.h"

namespace dunvel {

// What an assistive technology is told an element is.
enum class AccessibilityRole { text, button, image };

// "text", "button", "image".
std::string_view roleName(AccessibilityRole role);

// One element of the face as a screen reader reads it: derived from the element tree and its
// layout as the watch's platform derives it (see AccessibilityTree.h for the rules).
struct AccessibilityElement {
  AccessibilityRole role = AccessibilityRole::text;
  // What is read: a text's words, a symbol's name, a button's label texts joined with ", ".
  std::string label;
  // The platform's traits: "staticText", "button", "image".
  std::vector<std::string> traits;
  // Where it stands on the face, in points (origin top left, y down), at the scroll offsets
  // the layout was made with: an element scrolled out of sight has its frame out of sight.
  Rect frame;
  // Whether any of it is in sight: inside the face and inside every scroll view around it.
  bool showing = true;
  // The element it stands for (the button itself for a button), valid as long as the tree the
  // layout was made from; null for the time in the band, which is no element of the tree.
  const Element* element = nullptr;
};

}  // namespace dunvel
