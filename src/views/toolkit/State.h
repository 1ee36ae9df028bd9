#pragma once

#include <memory>
#include <utility>

#include "views/toolkit/StateBox.h"

namespace dunvel {

// View-local state. A State is a handle on a shared box: copies of a view share their states,
// so closures that capture the view by value read and write the same state.
//
// The box belongs to the view's place in the tree, not to one view value. A view lists its
// states for the graph:
//     auto states() { return std::tie(now, buzzed); }
// When a view first appears at a place, the graph keeps the boxes it arrived with (so their
// initial values count); when the view is evaluated again at that place, the new value's boxes
// are replaced by the kept ones, and its initial values are ignored. A place that is left loses
// its boxes; coming back starts afresh.
//
// set() re-evaluates the graph (on the main queue, coalesced) only when the value changed.
// Main thread only.
template <class T>
class State {
 public:
  State() : State(T{}) {}
  State(T initial)  // NOLINT: State<bool> buzzed = false reads naturally
      : box_(std::make_shared<StateBox<T>>(std::move(initial))) {}

  T get() const { return box_->value(); }
  // const: a handle may be set from a closure that captured the view by value.
  void set(T value) const { box_->set(std::move(value)); }

  // For the view graph.
  std::shared_ptr<StateBox<T>> box() const { return box_; }
  void adopt(std::shared_ptr<StateBox<T>> box) { box_ = std::move(box); }

 private:
  std::shared_ptr<StateBox<T>> box_;
};

}  // namespace dunvel
