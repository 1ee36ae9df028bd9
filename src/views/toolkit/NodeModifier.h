#pragma once

#include <functional>
#include <memory>

#include "views/toolkit/EnvironmentValues.h"
#include "views/toolkit/Modifier.h"

namespace dunvel {

class ReceiveBinding;
class ChangeBinding;

// A modifier as a description node carries it: what the element tree shows, plus what the view
// graph acts on (a change of environment for the subtree, a subscription, a change action).
struct NodeModifier {
  Modifier shown;
  std::function<void(EnvironmentValues&)> applyEnvironment;
  std::shared_ptr<const ReceiveBinding> receive;
  std::shared_ptr<const ChangeBinding> change;
};

}  // namespace dunvel
