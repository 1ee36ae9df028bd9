#include "app/DunvelWatchApp.h"

#include "views/ContentView.h"

namespace dunvel {

DunvelWatchApp::DunvelWatchApp()
    : store_([]() -> ConnectivityStore& { return ConnectivityStore::shared(); }) {}

WindowGroup DunvelWatchApp::body() const {
  return WindowGroup([store = store_] {
    return View(ContentView{})
        .environmentObject(store.wrappedValue())
        .environment(LayoutDirection::rightToLeft);
  });
}

}  // namespace dunvel
