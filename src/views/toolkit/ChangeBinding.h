#pragma once

#include <functional>
#include <utility>

namespace dunvel {

// One onChange modifier: the watched value of one evaluation and the action, without the
// value's type.
class ChangeBinding {
 public:
  explicit ChangeBinding(std::function<void()> action) : action_(std::move(action)) {}
  virtual ~ChangeBinding() = default;

  // Whether this evaluation's value differs from previous's (operator==, so a NaN double
  // differs from itself; a value of another type differs).
  virtual bool differsFrom(const ChangeBinding& previous) const = 0;
  const std::function<void()>& action() const { return action_; }

 private:
  std::function<void()> action_;
};

template <class T>
class ChangeBindingFor final : public ChangeBinding {
 public:
  ChangeBindingFor(T value, std::function<void()> action)
      : ChangeBinding(std::move(action)), value_(std::move(value)) {}

  bool differsFrom(const ChangeBinding& previous) const override {
    auto* same = dynamic_cast<const ChangeBindingFor*>(&previous);
    return same == nullptr || !(same->value_ == value_);
  }

 private:
  T value_;
};

}  // namespace dunvel
