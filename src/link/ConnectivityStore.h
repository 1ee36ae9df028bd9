#pragma once

#include <optional>
#include <string>

#include "link/SessionPlatform.h"
#include "state/ContextValue.h"
#include "state/GameState.h"
#include "views/toolkit/observation/ObservableObject.h"
#include "views/toolkit/observation/Published.h"

namespace dunvel {

// The companion's one link to the host app and the one source of what the screens show.
// state and reachable are written only on the main queue; every write announces first.
class ConnectivityStore final : public ObservableObject, public SessionDelegate {
 public:
  // The one store of the process, created on first use (thread-safe) from the installed
  // session platform.
  static ConnectivityStore& shared();

  // A store on the given platform; ConnectivityStore::shared() uses the installed one. Runs the
  // construction steps: defaults, then, when supported, setDelegate and activateSession.
  explicit ConnectivityStore(SessionPlatform platform);

  Published<GameState> state{*this, GameState{}};
  Published<bool> reachable{*this, false};

  // Main thread. Sends {"action": action} plus extra (an extra entry replaces an equal key) when
  // the session says it is reachable now; drops it otherwise. Reports nothing.
  void send(const std::string& action, const ContextDictionary& extra = {});

  // Session callbacks: platform thread.
  void sessionActivationDidComplete(Session& session, ActivationState state,
                                    const std::optional<std::string>& error) override;
  void sessionDidReceiveApplicationContext(Session& session,
                                           const ContextDictionary& applicationContext) override;
  void sessionDidReceiveMessage(Session& session, const ContextDictionary& message) override;
  void sessionReachabilityDidChange(Session& session) override;

 private:
  void applyContext(const ContextDictionary& dictionary);
  void refreshReachable(Session& session);

  SessionPlatform platform_;
};

}  // namespace dunvel
