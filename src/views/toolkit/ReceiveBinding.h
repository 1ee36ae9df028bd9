#pragma once

#include <memory>
#include <typeinfo>
#include <utility>

#include "views/toolkit/Environment.h"
#include "views/toolkit/EnvironmentValues.h"
#include "observation/Cancellable.h"

namespace dunvel {

class ReceiveBinding;

// Where the values of an onReceive subscription go: the handler of the binding made by the
// latest evaluation of its place, run in that place's environment. The graph keeps one target
// per place and replaces its binding at each evaluation without touching the subscription.
struct ReceiveTarget {
  std::shared_ptr<const ReceiveBinding> binding;
  std::shared_ptr<const EnvironmentValues> environment;
};

// One onReceive modifier: a publisher and a handler, without their types.
class ReceiveBinding {
 public:
  virtual ~ReceiveBinding() = default;
  // Whether other listens to the same stream: the same publisher type and equal publishers.
  virtual bool samePublisher(const ReceiveBinding& other) const = 0;
  // Subscribes to the publisher; values go to the target while it lives.
  [[nodiscard]] virtual Cancellable subscribe(std::weak_ptr<const ReceiveTarget> target) const = 0;
};

// A publisher has `using Output = ...`, `Cancellable sink(std::function<void(Output)>) const`
// and == telling whether two publishers are the same stream.
template <class P>
concept Publisher = requires(const P& publisher) {
  typename P::Output;
  { publisher == publisher } -> std::convertible_to<bool>;
};

template <Publisher P>
class ReceiveBindingFor final : public ReceiveBinding {
 public:
  using Handler = std::function<void(typename P::Output)>;
  ReceiveBindingFor(P publisher, Handler handler)
      : publisher_(std::move(publisher)), handler_(std::move(handler)) {}

  bool samePublisher(const ReceiveBinding& other) const override {
    auto* same = dynamic_cast<const ReceiveBindingFor*>(&other);
    return same != nullptr && same->publisher_ == publisher_;
  }

  Cancellable subscribe(std::weak_ptr<const ReceiveTarget> target) const override {
    return publisher_.sink([target = std::move(target)](typename P::Output value) {
      auto live = target.lock();
      if (!live) return;
      // Hold both while the handler runs, whatever the handler leads to.
      auto binding = std::static_pointer_cast<const ReceiveBindingFor>(live->binding);
      auto environment = live->environment;
      Environment::Scope scope(*environment);
      binding->handler_(std::move(value));
    });
  }

 private:
  P publisher_;
  Handler handler_;
};

}  // namespace dunvel
