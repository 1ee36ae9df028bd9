#pragma once

namespace dunvel {

// The modifiers a node can carry. Visual ones are the renderer's; environment and event ones
// are the view graph's and appear in the element tree only as markers.
enum class ModifierKind {
  font,
  foregroundColor,
  tint,
  lineLimit,
  multilineTextAlignment,
  padding,
  frame,
  background,
  clipShape,
  environmentObject,
  environment,
  onReceive,
  onChange,
};

}  // namespace dunvel
