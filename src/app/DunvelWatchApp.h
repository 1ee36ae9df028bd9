#pragma once

#include "app/App.h"
#include "app/StateObject.h"
#include "app/WindowGroup.h"
#include "link/ConnectivityStore.h"

namespace dunvel {

// The companion: one window whose root view is ContentView, with the one store of the process
// in its environment and a right-to-left layout for everything below it.
class DunvelWatchApp final : public App {
 public:
  // Only sets up the store holder; the store itself comes into being when the scene first
  // builds its content.
  DunvelWatchApp();
  // The same app on a store of its own instead of the shared one, for tools that run several
  // apps in one process (a replay of each recording in a file).
  explicit DunvelWatchApp(StateObject<ConnectivityStore> store);

  WindowGroup body() const override;

 private:
  // Deferred: ConnectivityStore::shared(). Every app value, however many the runner makes,
  // reaches the same store, and the store's set-up runs once per process.
  StateObject<ConnectivityStore> store_;
};

}  // namespace dunvel
