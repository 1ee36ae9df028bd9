#pragma once

#include <functional>
#include <nlohmann/json.hpp>

#include "views/toolkit/Element.h"

namespace dunvel {

// The element tree as JSON, for tools and tests: each element's "kind", the properties of its
// kind, "modifiers" in the order applied and "children". Texts as shown, with "localizable" and,
// for a localisable text, its "key" (and "argument" for "%lld"); symbols by name; colours by
// name ("secondary") or as "sRGB" components, with "opacity" when not 1; a default spacing or
// padding amount as null. Views appear as {"kind": "view", "type": "IdleView", ...}.
nlohmann::json elementToJson(const Element& element);

// The same, where annotate adds to each element's object after it is written (a renderer adds
// the element's frame).
using ElementAnnotator = std::function<void(const Element&, nlohmann::json&)>;
nlohmann::json elementToJson(const Element& element, const ElementAnnotator& annotate);

}  // namespace dunvel
