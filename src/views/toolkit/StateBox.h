#pragma once

#include <utility>

#include "views/toolkit/StateBoxBase.h"

namespace dunvel {

// The shared storage of one State<T>.
template <class T>
class StateBox final : public StateBoxBase {
 public:
  explicit StateBox(T initial) : value_(std::move(initial)) {}

  const T& value() const { return value_; }

  // Stores value and reports the change; an equal value (operator==) is not a change and
  // reports nothing, so setting state to what it already holds never causes an evaluation.
  void set(T value) {
    if (value_ == value) return;
    value_ = std::move(value);
    changed();
  }

 private:
  T value_;
};

}  // namespace dunvel
