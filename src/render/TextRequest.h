#pragma once

#include <limits>
#include <optional>
#include <string_view>

#include "views/toolkit/LayoutDirection.h"
#include "views/toolkit/TextAlignment.h"
#include "views/toolkit/TextStyle.h"

namespace dunvel {

// What the layout asks the text engine to shape: a text in a font at most maxWidth points wide
// (infinity: unbounded), cut with "…" after lineLimit lines.
struct TextRequest {
  std::string_view text;
  TextStyle style = TextStyle::body;
  bool bold = false;
  bool monospacedDigit = false;
  // The text is one system symbol's glyph, drawn from the symbol font at the style's size.
  bool symbol = false;
  double maxWidth = std::numeric_limits<double>::infinity();
  std::optional<int> lineLimit;
  TextAlignment alignment = TextAlignment::leading;
  LayoutDirection direction = LayoutDirection::leftToRight;
};

}  // namespace dunvel
