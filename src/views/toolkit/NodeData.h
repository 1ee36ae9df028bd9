#pragma once

#include <memory>
#include <string>
#include <vector>

#include "views/toolkit/AnyView.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/NodeModifier.h"

namespace dunvel {

class Node;

// What a Node describes. Shared and immutable once built.
struct NodeData {
  enum class Kind {
    element,      // `element` gives kind and properties; children below
    group,        // children spliced into the parent
    conditional,  // the shown branch (zero or one child), its identity from `branch`
    forEach,      // children spliced into the parent, identified by `ids`
    view,         // `view`, evaluated by the graph
    modified,     // `modifier` wrapped around `subject`
  };

  Kind kind = Kind::group;
  Element element;
  std::vector<Node> children;
  std::string branch;
  std::vector<std::string> ids;
  std::shared_ptr<const AnyView> view;
  // A modifier wraps its subject without copying it, so a chain of modifiers costs one small
  // node each.
  std::shared_ptr<const NodeData> subject;
  NodeModifier modifier;
};

}  // namespace dunvel
