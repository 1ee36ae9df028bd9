#pragma once

#include <functional>
#include <utility>

namespace dunvel {

// The shared storage behind a State, without its type, so the view graph can keep the boxes of a
// view's place and tell it when one changes. Main thread only.
class StateBoxBase {
 public:
  StateBoxBase() = default;
  StateBoxBase(const StateBoxBase&) = delete;
  StateBoxBase& operator=(const StateBoxBase&) = delete;
  virtual ~StateBoxBase() = default;

  // The graph that keeps this box asks to hear of changes; an empty function detaches it (the
  // place was left: later sets on a leftover copy change nothing on screen).
  void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }

 protected:
  void changed() const {
    if (observer_) observer_();
  }

 private:
  std::function<void()> observer_;
};

}  // namespace dunvel
