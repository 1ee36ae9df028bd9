#include "link/ConnectivityStore.h"

#include <stdexcept>
#include <utility>

#include "state/ContextDecoding.h"

namespace dunvel {

ConnectivityStore& ConnectivityStore::shared() {
  // The initialisation of a function-local static is guarded, so concurrent first callers get
  // the one store. It is never destroyed: the session may still deliver a callback to its
  // delegate while the process exits, and the store has nothing to clean up.
  static ConnectivityStore* const store = new ConnectivityStore(installedSessionPlatform());
  return *store;
}

ConnectivityStore::ConnectivityStore(SessionPlatform platform) : platform_(std::move(platform)) {
  // state and reachable already hold the default snapshot and false (member initialisers).
  if (!platform_.isSupported || platform_.mainQueue == nullptr) {
    throw std::logic_error(
        "ConnectivityStore: the session platform needs isSupported and a main queue");
  }
  // Unsupported: nothing is set up and no further session call is made; the defaults stay.
  if (!platform_.isSupported()) return;
  if (!platform_.defaultSession) {
    throw std::logic_error("ConnectivityStore: the session platform needs defaultSession");
  }
  Session& session = platform_.defaultSession();
  supported_ = true;
  session.setDelegate(this);
  session.activateSession();
}

void ConnectivityStore::send(const std::string& action, const ContextDictionary& extra) {
  if (platform_.observeSend) platform_.observeSend(action, extra);
  ContextDictionary message{{"action", ContextValue(action)}};
  // An entry of extra replaces an equal key, "action" included.
  for (const auto& [key, value] : extra) message.insert_or_assign(key, value);

  // Without a supported session nothing was ever set up: there is no session to ask, and the
  // command is dropped like any command to an unreachable host.
  if (!supported_) return;
  Session& session = platform_.defaultSession();
  // Asked now: the published reachable may be stale in either direction.
  if (!session.isReachable()) return;
  session.sendMessage(message);
}

void ConnectivityStore::sessionActivationDidComplete(Session& session, ActivationState,
                                                     const std::optional<std::string>&) {
  // Neither the activation state nor the error changes what happens: the context on hand is
  // applied first and reachability refreshed second, so main replaces state before reachable.
  applyContext(session.receivedApplicationContext());
  queueRefreshReachable(session);
}

void ConnectivityStore::sessionDidReceiveApplicationContext(
    Session&, const ContextDictionary& applicationContext) {
  applyContext(applicationContext);
}

void ConnectivityStore::sessionDidReceiveMessage(Session&, const ContextDictionary& message) {
  // A message carries a snapshot exactly like an application context.
  applyContext(message);
}

void ConnectivityStore::sessionReachabilityDidChange(Session& session) {
  queueRefreshReachable(session);
}

void ConnectivityStore::applyContext(const ContextDictionary& dictionary) {
  // Decoding touches nothing shared, so it runs here on the calling thread; only the finished
  // value crosses to main, captured by value.
  GameState snapshot = decodeGameState(dictionary);
  platform_.mainQueue->async(
      [this, snapshot = std::move(snapshot)]() mutable { state = std::move(snapshot); });
}

void ConnectivityStore::queueRefreshReachable(Session& session) {
  Session* const reporting = &session;  // the process's session: it outlives every block
  platform_.mainQueue->async([this, reporting] { refreshReachable(*reporting); });
}

void ConnectivityStore::refreshReachable(Session& session) {
  // Read when the block runs, not when the callback arrived: a newer answer wins.
  reachable = session.isReachable();
}

}  // namespace dunvel
