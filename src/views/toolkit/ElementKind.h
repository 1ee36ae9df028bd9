#pragma once

namespace dunvel {

// The kinds of resolved elements. A view appears as a `view` element holding what its body
// produced; groups, conditions and lists are spliced into their parent and leave no element of
// their own (a `group` appears only at the root when the root is not one element).
enum class ElementKind {
  vstack,
  hstack,
  scrollView,
  spacer,
  text,
  image,
  label,
  button,
  circle,
  roundedRectangle,
  view,
  group,
};

}  // namespace dunvel
