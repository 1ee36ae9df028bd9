#include "link/SessionPlatform.h"

#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

namespace dunvel {

namespace {

// The binding is written once at start-up and read once when the shared store is first used;
// the lock keeps a reader on another thread from seeing it half written.
std::mutex& bindingMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<SessionPlatform>& binding() {
  static std::optional<SessionPlatform> installed;
  return installed;
}

}  // namespace

void installSessionPlatform(SessionPlatform platform) {
  std::lock_guard lock(bindingMutex());
  binding() = std::move(platform);
}

SessionPlatform installedSessionPlatform() {
  std::lock_guard lock(bindingMutex());
  if (!binding()) {
    throw std::logic_error(
        "no session platform installed: call installSessionPlatform() before "
        "ConnectivityStore::shared()");
  }
  return *binding();
}

}  // namespace dunvel
