#include "app/DunvelWatchApp.h"

#include <utility>

#include "views/ContentView.h"

namespace dunvel {

DunvelWatchApp::DunvelWatchApp()
    : store_([]() -> ConnectivityStore& { return ConnectivityStore::shared(); }) {}

DunvelWatchApp::DunvelWatchApp(StateObject<ConnectivityStore> store) : store_(std::move(store)) {}

WindowGroup DunvelWatchApp::body() const {
  return WindowGroup([store = store_] {
    return View(ContentView{})
        .environmentObject(store.wrappedValue())
        .environment(LayoutDirection::rightToLeft);
  });
}

}  // namespace dunvel
