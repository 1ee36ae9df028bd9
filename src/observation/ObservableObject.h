#pragma once

#include "observation/ObservableObjectPublisher.h"

namespace dunvel {

// An object that announces every change before it happens. Views observe it through
// EnvironmentObject and re-evaluate after each announcement.
class ObservableObject {
 public:
  ObservableObject() = default;
  ObservableObject(const ObservableObject&) = delete;
  ObservableObject& operator=(const ObservableObject&) = delete;
  virtual ~ObservableObject() = default;

  ObservableObjectPublisher& objectWillChange() { return objectWillChange_; }

 private:
  ObservableObjectPublisher objectWillChange_;
};

}  // namespace dunvel
