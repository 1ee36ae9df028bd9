#pragma once

#include <memory>
#include <string>
#include <vector>

#include "views/toolkit/StateBoxBase.h"

namespace dunvel {

class Node;

// A view value of any type, as the view graph handles it: copy it, swap its state boxes, and
// evaluate its body. Made by View(someView).
class AnyView {
 public:
  virtual ~AnyView() = default;

  // The view's type name without namespace, such as "HostRemoteView". Part of its identity.
  virtual const std::string& typeName() const = 0;
  virtual std::shared_ptr<AnyView> clone() const = 0;
  // The boxes of the view's states, in the order its states() lists them (none without one).
  virtual std::vector<std::shared_ptr<StateBoxBase>> stateBoxes() const = 0;
  // Replaces the view's state boxes by boxes, as stateBoxes() returned them for the same type.
  virtual void adoptStateBoxes(const std::vector<std::shared_ptr<StateBoxBase>>& boxes) = 0;
  virtual Node body() const = 0;
};

}  // namespace dunvel
