#pragma once

#include <optional>
#include <string>

#include "views/toolkit/Color.h"
#include "views/toolkit/Edges.h"
#include "views/toolkit/FixedFrame.h"
#include "views/toolkit/FlexibleFrame.h"
#include "views/toolkit/Font.h"
#include "views/toolkit/LayoutDirection.h"
#include "views/toolkit/ModifierKind.h"
#include "views/toolkit/ShapeGeometry.h"
#include "views/toolkit/TextAlignment.h"

namespace dunvel {

// One modifier as applied to an element. Only the fields of its kind are set:
//   font → font; foregroundColor, tint, background → color; lineLimit → lineLimit;
//   multilineTextAlignment → textAlignment; padding → edges and length (none: the platform's
//   default amount); frame → fixedFrame or flexibleFrame; clipShape → shape;
//   environmentObject → objectType (the type name without namespace); environment →
//   layoutDirection; onReceive, onChange → nothing.
struct Modifier {
  ModifierKind kind = ModifierKind::padding;
  std::optional<Font> font;
  std::optional<Color> color;
  std::optional<int> lineLimit;
  std::optional<TextAlignment> textAlignment;
  Edges edges = Edges::all;
  std::optional<double> length;
  std::optional<FixedFrame> fixedFrame;
  std::optional<FlexibleFrame> flexibleFrame;
  std::optional<ShapeGeometry> shape;
  std::string objectType;
  std::optional<LayoutDirection> layoutDirection;

  friend bool operator==(const Modifier&, const Modifier&) = default;
};

}  // namespace dunvel
