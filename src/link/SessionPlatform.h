#pragma once

#include <functional>
#include <string>

#include "link/MainQueue.h"
#include "link/Session.h"
#include "state/ContextValue.h"

namespace dunvel {

// What the watch platform provides process-wide: whether the session is supported, the one
// default session, and the main queue. The app installs it once, before the first use of
// ConnectivityStore::shared(); tests build stores with their own instead.
struct SessionPlatform {
  std::function<bool()> isSupported;
  // Every call returns the same session.
  std::function<Session&()> defaultSession;
  MainQueue* mainQueue = nullptr;
  // Optional. Called on main at the start of every send, before the reachability check, with
  // the action and extra entries as the control gave them. Each control's tap sends exactly one
  // command, so a recording of a night notes its taps here.
  std::function<void(const std::string& action, const ContextDictionary& extra)> observeSend;
};

// Main thread, before the first ConnectivityStore::shared(). Installing again replaces the
// binding for later readers; a store already created keeps the one it was built with.
void installSessionPlatform(SessionPlatform platform);

// The installed binding; std::logic_error when none was installed. Callable from any thread.
SessionPlatform installedSessionPlatform();

}  // namespace dunvel
