#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "views/toolkit/AnyView.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/ElementProperties.h"
#include "views/toolkit/NodeModifier.h"

namespace dunvel {

class Node;

// What a Node describes. Shared and immutable once built. It holds only what its kind uses,
// the rest behind pointers that stay null: a screen of thousands of rows builds a dozen of these
// per row, and most of them are one modifier around a subject.
struct NodeData {
  enum class Kind {
    element,      // `element` gives kind and properties; children below
    group,        // children spliced into the parent
    conditional,  // the shown branch (zero or one child), its identity from `branch`
    forEach,      // rows made by `makeRow`, spliced into the parent, identified by `ids`
    view,         // `view`, evaluated by the graph
    modified,     // `shown` (and `acting`) wrapped around `subject`
  };
  // What conditional, forEach and view nodes hold.
  struct Other {
    // conditional: "then" or "else".
    const char* branch = "";
    // forEach: one id per row, and what makes the row of an index (rows are not children:
    // each is made as it is resolved).
    std::vector<std::string> ids;
    std::function<Node(std::size_t)> makeRow;
    std::shared_ptr<const AnyView> view;
  };

  Kind kind = Kind::group;
  std::vector<Node> children;
  // A modifier wraps its subject without copying it, so a chain of modifiers costs one small
  // node each.
  std::shared_ptr<const NodeData> subject;
  std::shared_ptr<const Modifier> shown;
  // The whole modifier, only when the graph acts on it (environment, onReceive, onChange).
  std::unique_ptr<const NodeModifier> acting;
  std::unique_ptr<ElementProperties> element;
  std::unique_ptr<Other> other;

  Other& otherToSet() {
    if (!other) other = std::make_unique<Other>();
    return *other;
  }
};

}  // namespace dunvel
