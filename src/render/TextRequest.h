#pragma once

#include <limits>
#include <optional>
#include <string_view>

#include "render/TextSize.h"
#include "views/toolkit/LayoutDirection.h"
#include "views/toolkit/TextAlignment.h"
#include "views/toolkit/TextStyle.h"

namespace dunvel {

// What the layout asks the text engine to shape: a text in a font at most maxWidth points wide
// (infinity: unbounded), cut with "…" after lineLimit lines. The text's paragraph direction
// comes from its first strong character (direction when it has none); its lines are aligned by
// direction, the layout's.
struct TextRequest {
  std::string_view text;
  TextStyle style = TextStyle::body;
  TextSize textSize = TextSize::xLarge;
  bool bold = false;
  bool monospacedDigit = false;
  // The text is one system symbol's glyph, drawn from the symbol font at the style's size.
  bool symbol = false;
  double maxWidth = std::numeric_limits<double>::infinity();
  std::optional<int> lineLimit;
  // The lines that fit the height the text is offered: past them the last line shown ends in
  // "…", as past lineLimit. The engine shapes at least one line.
  std::optional<int> maxLines;
  TextAlignment alignment = TextAlignment::leading;
  LayoutDirection direction = LayoutDirection::leftToRight;
};

}  // namespace dunvel
