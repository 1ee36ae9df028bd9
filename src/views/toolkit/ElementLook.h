#pragma once

#include <optional>
#include <string>

#include "views/toolkit/Axis.h"
#include "views/toolkit/ElementKind.h"
#include "views/toolkit/HorizontalAlignment.h"
#include "views/toolkit/ModifierList.h"
#include "views/toolkit/ShapeGeometry.h"
#include "views/toolkit/ShowsIndicators.h"
#include "views/toolkit/TextContent.h"
#include "views/toolkit/VerticalAlignment.h"

namespace dunvel {

// What one element shows, apart from its children: every property that is laid out or drawn,
// and the identity, which scroll positions and the pressed look are kept by. A repaint is
// skipped only when the looks of two trees are equal, so the comparison is the defaulted one: a
// property added here takes part in it without anyone having to remember.
struct ElementLook {
  ElementKind kind = ElementKind::group;
  // The element's place in the tree: equal places across evaluations have equal identities.
  std::string identity;

  HorizontalAlignment horizontalAlignment = HorizontalAlignment::center;
  VerticalAlignment verticalAlignment = VerticalAlignment::center;
  std::optional<double> spacing;
  Axis axis = Axis::vertical;
  ShowsIndicators showsIndicators = ShowsIndicators::yes;
  std::optional<double> minLength;
  std::optional<TextContent> text;
  std::string systemName;
  ShapeGeometry shape;
  std::string viewType;

  ModifierList modifiers;

  friend bool operator==(const ElementLook&, const ElementLook&) = default;
};

}  // namespace dunvel
