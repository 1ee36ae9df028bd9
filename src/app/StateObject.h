#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace dunvel {

// Holds an app-wide object given as a deferred expression. The expression runs once, the first
// time the value is read, and every later read returns the same object. Copies of the holder
// share that one value, so a scene closure that captured a copy sees what the app sees.
// Main thread only, like the scene that reads it.
template <class T>
class StateObject {
 public:
  explicit StateObject(std::function<T&()> wrappedValue)
      : storage_(std::make_shared<Storage>(Storage{std::move(wrappedValue), nullptr})) {}

  T& wrappedValue() const {
    if (storage_->value == nullptr) storage_->value = &storage_->make();
    return *storage_->value;
  }
  T& operator*() const { return wrappedValue(); }
  T* operator->() const { return &wrappedValue(); }

 private:
  struct Storage {
    std::function<T&()> make;
    T* value;
  };
  std::shared_ptr<Storage> storage_;
};

}  // namespace dunvel
