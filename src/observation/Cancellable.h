#pragma once

#include <functional>
#include <utility>

namespace dunvel {

// A subscription handle: the subscription ends when the handle is cancelled or destroyed.
class Cancellable {
 public:
  Cancellable() = default;
  explicit Cancellable(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  Cancellable(Cancellable&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  Cancellable& operator=(Cancellable&& other) noexcept {
    if (this != &other) {
      cancel();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  Cancellable(const Cancellable&) = delete;
  Cancellable& operator=(const Cancellable&) = delete;
  ~Cancellable() { cancel(); }

  void cancel() {
    if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
  }
  explicit operator bool() const { return static_cast<bool>(cancel_); }

 private:
  std::function<void()> cancel_;
};

}  // namespace dunvel
