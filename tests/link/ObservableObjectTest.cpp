#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "observation/ObservableObject.h"
#include "observation/ObservableObjectPublisher.h"
#include "observation/Published.h"

namespace dunvel {
namespace {

TEST(ObservableObjectPublisher, DeliversToLiveSubscriptionsOnly) {
  ObservableObjectPublisher publisher;
  std::vector<std::string> log;
  Cancellable first = publisher.sink([&] { log.push_back("first"); });
  std::optional<Cancellable> second = publisher.sink([&] { log.push_back("second"); });

  publisher.send();
  EXPECT_EQ(log, (std::vector<std::string>{"first", "second"}));

  log.clear();
  second.reset();  // destroying the handle ends the subscription
  publisher.send();
  EXPECT_EQ(log, std::vector<std::string>{"first"});

  log.clear();
  first.cancel();
  EXPECT_FALSE(static_cast<bool>(first));
  publisher.send();
  EXPECT_TRUE(log.empty());
}

TEST(ObservableObjectPublisher, ReceiversMaySubscribeAndCancelDuringASend) {
  ObservableObjectPublisher publisher;
  std::vector<std::string> log;
  Cancellable selfCancelling;
  Cancellable canceller;
  Cancellable victim;
  std::vector<Cancellable> added;

  selfCancelling = publisher.sink([&] {
    log.push_back("self");
    selfCancelling.cancel();  // its own function must stay alive until it returns
    log.push_back("self still running");
  });
  canceller = publisher.sink([&] {
    log.push_back("canceller");
    victim.cancel();
    // Subscribed during a send: hears the next one, not this one.
    added.push_back(publisher.sink([&] { log.push_back("added"); }));
  });
  victim = publisher.sink([&] { log.push_back("victim"); });

  publisher.send();
  EXPECT_EQ(log, (std::vector<std::string>{"self", "self still running", "canceller"}));

  log.clear();
  canceller.cancel();
  publisher.send();
  EXPECT_EQ(log, std::vector<std::string>{"added"});
}

TEST(ObservableObjectPublisher, SurvivesTheOwnerGoingAwayDuringASendAndHandlesOutlivingIt) {
  struct Model : ObservableObject {};
  auto model = std::make_unique<Model>();
  int later = 0;
  Cancellable destroyer = model->objectWillChange().sink([&] { model.reset(); });
  Cancellable afterDestroyer = model->objectWillChange().sink([&] { ++later; });

  model->objectWillChange().send();
  EXPECT_EQ(model, nullptr);
  EXPECT_EQ(later, 0);  // its publisher is gone: the rest of that send is not delivered

  // Both handles outlive the publisher; ending them is harmless.
  destroyer.cancel();
  afterDestroyer = Cancellable();
  EXPECT_FALSE(static_cast<bool>(afterDestroyer));
}

TEST(Published, EveryAssignmentAnnouncesBeforeStoringEqualValuesToo) {
  struct Model : ObservableObject {
    Published<int> count{*this, 1};
  } model;
  std::vector<int> seenWhenAnnounced;
  Cancellable subscription =
      model.objectWillChange().sink([&] { seenWhenAnnounced.push_back(model.count); });

  model.count = 2;
  model.count = 2;
  model.count = 5;
  EXPECT_EQ(seenWhenAnnounced, (std::vector<int>{1, 2, 2}));
  EXPECT_EQ(model.count.get(), 5);
}

}  // namespace
}  // namespace dunvel
