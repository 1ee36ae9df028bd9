#pragma once

#include <utility>

#include "observation/ObservableObject.h"

namespace dunvel {

// A published property of an ObservableObject: every assignment first announces on the owner's
// objectWillChange, then stores. Equal values announce too; nothing is compared.
template <class T>
class Published {
 public:
  Published(ObservableObject& owner, T initial) : owner_(owner), value_(std::move(initial)) {}
  Published(const Published&) = delete;

  Published& operator=(T value) {
    owner_.objectWillChange().send();
    value_ = std::move(value);
    return *this;
  }

  const T& get() const { return value_; }
  operator const T&() const { return value_; }
  const T* operator->() const { return &value_; }

 private:
  ObservableObject& owner_;
  T value_;
};

}  // namespace dunvel
