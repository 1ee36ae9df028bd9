#pragma once

#include "views/toolkit/Environment.h"

namespace dunvel {

// A view's reference to an object of type T placed in its environment (.environmentObject). It
// holds nothing: each use looks the object up in the current environment, which the view graph
// sets while it evaluates the view's body and while it runs the button actions, timer handlers
// and change actions made there. So `store->state.get()` in body and `store->send(...)` in an
// action both reach the store at the view's place; used anywhere else it is a
// std::logic_error, as is a missing object.
template <class T>
class EnvironmentObject {
 public:
  T& get() const { return Environment::current().template object<T>(); }
  T* operator->() const { return &get(); }
  T& operator*() const { return get(); }
};

}  // namespace dunvel
