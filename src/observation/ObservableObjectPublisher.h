#pragma once

#include <functional>
#include <memory>

#include "observation/Cancellable.h"

namespace dunvel {

// objectWillChange: announces that an observable object is about to change. Main thread only.
// A receiver may subscribe or cancel (itself or others) while an announcement is delivered.
class ObservableObjectPublisher {
 public:
  ObservableObjectPublisher();
  ~ObservableObjectPublisher();
  ObservableObjectPublisher(const ObservableObjectPublisher&) = delete;
  ObservableObjectPublisher& operator=(const ObservableObjectPublisher&) = delete;

  [[nodiscard]] Cancellable sink(std::function<void()> receive);
  void send();

 private:
  struct Subscribers;
  std::shared_ptr<Subscribers> subscribers_;
};

}  // namespace dunvel
