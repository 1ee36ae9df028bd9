#pragma once

#include <functional>
#include <memory>

#include "views/toolkit/EnvironmentValues.h"
#include "views/toolkit/Modifier.h"

namespace dunvel {

class ReceiveBinding;
class ChangeBinding;

// A modifier as a description node carries it: what the element tree shows (shared, see
// sharedModifier), plus what the view graph acts on (a change of environment for the subtree, a
// subscription, a change action).
struct NodeModifier {
  std::shared_ptr<const Modifier> shown;
  std::function<void(EnvironmentValues&)> applyEnvironment;
  std::shared_ptr<const ReceiveBinding> receive;
  std::shared_ptr<const ChangeBinding> change;

  // Whether the view graph has anything to do for it besides showing it.
  bool acts() const { return applyEnvironment || receive || change; }
};

}  // namespace dunvel
