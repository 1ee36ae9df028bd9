#include "observation/ObservableObjectPublisher.h"

#include <utility>
#include <vector>

namespace dunvel {

namespace {

struct Subscription {
  std::function<void()> receive;
  // Set when the subscription ends; a send that already took its snapshot checks it before
  // each call, so a receiver cancelled during a send is not called afterwards.
  bool cancelled = false;
};

}  // namespace

struct ObservableObjectPublisher::Subscribers {
  std::vector<std::shared_ptr<Subscription>> list;
};

ObservableObjectPublisher::ObservableObjectPublisher()
    : subscribers_(std::make_shared<Subscribers>()) {}

ObservableObjectPublisher::~ObservableObjectPublisher() {
  // Handles may outlive the publisher: they hold it only weakly and find it gone. Mark the
  // remaining subscriptions ended in case a send further up the stack still holds them.
  for (const auto& subscription : subscribers_->list) subscription->cancelled = true;
}

Cancellable ObservableObjectPublisher::sink(std::function<void()> receive) {
  auto subscription = std::make_shared<Subscription>();
  subscription->receive = std::move(receive);
  subscribers_->list.push_back(subscription);

  std::weak_ptr<Subscribers> weakSubscribers = subscribers_;
  std::weak_ptr<Subscription> weakSubscription = subscription;
  return Cancellable([weakSubscribers, weakSubscription] {
    auto subscription = weakSubscription.lock();
    if (!subscription) return;
    subscription->cancelled = true;
    auto subscribers = weakSubscribers.lock();
    if (!subscribers) return;
    std::erase_if(subscribers->list, [&](const std::shared_ptr<Subscription>& entry) {
      return entry.get() == subscription.get();
    });
  });
}

void ObservableObjectPublisher::send() {
  // Receivers may subscribe, cancel, or even destroy the publisher while we deliver: iterate
  // over a snapshot that owns its subscriptions, never over the live list. Receivers added
  // during this send hear the next one.
  const std::vector<std::shared_ptr<Subscription>> snapshot = subscribers_->list;
  for (const auto& subscription : snapshot) {
    if (subscription->cancelled) continue;
    // The snapshot keeps the function alive even if the receiver cancels itself inside it.
    subscription->receive();
  }
}

}  // namespace dunvel
