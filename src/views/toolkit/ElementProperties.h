#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "views/toolkit/Axis.h"
#include "views/toolkit/ElementKind.h"
#include "views/toolkit/HorizontalAlignment.h"
#include "views/toolkit/ShapeGeometry.h"
#include "views/toolkit/ShowsIndicators.h"
#include "views/toolkit/TextContent.h"
#include "views/toolkit/VerticalAlignment.h"

namespace dunvel {

// An element's own properties as a description holds them (see Element for what each kind
// uses): what every kind may have inline, the text, symbol and action of texts, labels, images
// and buttons behind a pointer that stays null for the other kinds.
struct ElementProperties {
  struct Content {
    std::optional<TextContent> text;
    std::string systemName;
    std::function<void()> action;
  };

  ElementKind kind = ElementKind::group;
  HorizontalAlignment horizontalAlignment = HorizontalAlignment::center;
  VerticalAlignment verticalAlignment = VerticalAlignment::center;
  Axis axis = Axis::vertical;
  ShowsIndicators showsIndicators = ShowsIndicators::yes;
  std::optional<double> spacing;
  std::optional<double> minLength;
  ShapeGeometry shape;
  std::unique_ptr<Content> content;

  // The content, made on first use.
  Content& contentToSet() {
    if (!content) content = std::make_unique<Content>();
    return *content;
  }
};

}  // namespace dunvel
